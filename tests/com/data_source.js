// DataSource from JScript: every operation on the example data source, by ProgID.
// cscript data_source.js <notice.ds.xml> <scratch folder>
// Prints only ASCII (Chinese text is compared here, not printed) and ends with "ALL PASSED"
// or "FAILED <n>"; the exit code is the number of failures.
var failures = 0;
function check(name, got, want) {
  if (got !== want) {
    failures++;
    WScript.Echo("FAILED: " + name + ": got " + escape(String(got)) + ", want " + escape(String(want)));
  }
}

var source = WScript.Arguments(0);
var scratch = WScript.Arguments(1);
var ds = new ActiveXObject("QNMuroWPS.DataSource");
check("LoadXML", ds.LoadXML(source), true);
check("ItemGetDescByName", ds.ItemGetDescByName("title"), "\u6807\u9898");
check("ItemGetValueByName", ds.ItemGetValueByName("signer"), "\u674E\u56DB");
check("ItemGetValueByName missing", ds.ItemGetValueByName("none"), "");
check("ItemGetValueByDesc", ds.ItemGetValueByDesc("\u6587\u53F7"), "\u9752\u529E\u3014\u0032\u0030\u0032\u0036\u3015\u0031\u0032\u53F7");
var opinions = ds.ItemGetValueByDesc("\u9886\u5BFC\u610F\u89C1");
var spaces = "\u3000\u3000\u3000\u3000\u3000\u3000\u3000";
check("opinion list", opinions.split("\r")[0], "\u540C\u610F\uFF0C\u8BF7\u529E\u516C\u5BA4\u6293\u7D27\u529E\u7406\u3002");
check("opinion line 2", opinions.split("\r")[1], spaces + "\u674E\u56DB 2026-12-07 ");
check("opinion no LF", opinions.indexOf("\n"), -1);
check("ItemGetExtendValueByName", ds.ItemGetExtendValueByName("docNumber", "year"), "2026");
check("ItemGetExtendValueByName missing", ds.ItemGetExtendValueByName("docNumber", "none"), "");
check("ItemIsExtendExist", ds.ItemIsExtendExist("docNumber"), true);
check("ItemIsExtendExist empty extend", ds.ItemIsExtendExist("sender"), false);
check("quote in key", ds.ItemGetValueByName("a'b"), "");
check("ItemSetValueByName", ds.ItemSetValueByName("signer", "\u738B\u4E94"), "");
check("ItemSetValueByDesc", ds.ItemSetValueByDesc("\u9886\u5BFC\u610F\u89C1", "\u540C\u610F"), "");
var saved = scratch + "\\saved.ds.xml";
ds.Save(saved);
var again = new ActiveXObject("QNMuroWPS.DataSource");
check("reload", again.LoadXML(saved), true);
check("written by name", again.ItemGetValueByName("signer"), "\u738B\u4E94");
check("written by desc", again.ItemGetValueByDesc("\u9886\u5BFC\u610F\u89C1"), "\u540C\u610F");
check("LoadXML missing file", again.LoadXML(scratch + "\\none.xml"), false);

// An error inside the class reaches the script with the class's own description.
try {
  ds.Save(scratch + "\\no\\such\\folder\\x.xml");
  check("Save into a missing folder raises", "no error", "error");
} catch (e) {
  check("Save error number", e.number & 0xFFFF, 75);
  check("Save error description", e.description.indexOf("Cannot write"), 0);
}

WScript.Echo(failures === 0 ? "ALL PASSED" : "FAILED " + failures);
WScript.Quit(failures);
