// WPSaddin from JScript, as an automation client without a word processor.
// cscript addin.js <agent name>
// Ends with "ALL PASSED" or "FAILED <n>"; the exit code is the number of failures.
var failures = 0;
function check(name, got, want) {
  if (got !== want) {
    failures++;
    WScript.Echo("FAILED: " + name + ": got " + escape(String(got)) + ", want " + escape(String(want)));
  }
}
// Runs `call`, which must raise the add-in's error `number` with a description.
function raises(name, number, call) {
  try {
    call();
    check(name + " raises", "no error", "error " + number);
  } catch (e) {
    check(name + " number", e.number & 0xFFFF, number);
    check(name + " has a description", e.description.length > 0, true);
  }
}

var addin = new ActiveXObject("QNMuroWPS.WPSaddin");
check("IsContentDocument", addin.IsContentDocument(), false);
// A trapped operation reports and answers false; the others raise to the caller.
check("MergeDataSource", addin.MergeDataSource(), false);
raises("ShowRevision", 91, function () { addin.ShowRevision(); });
raises("DisableToolBar", 91, function () { addin.DisableToolBar("QNMuroBar"); });
raises("HideRevision", 91, function () { addin.HideRevision(); });

// No control file loaded yet: no server address, so the agent's answer is its error text.
var agent = WScript.Arguments(0);
var answer = addin.ExecuteAgent(agent, "&id=7", "hello", true);
check("ExecuteAgent error text", answer.indexOf("\u6267\u884C\u4EE3\u7406 " + agent + " \u53D1\u751F\u9519\u8BEF\uFF1A"), 0);
check("ExecuteAgent optional arguments", addin.ExecuteAgent(agent, "").indexOf("\u6267\u884C\u4EE3\u7406 "), 0);

WScript.Echo(failures === 0 ? "ALL PASSED" : "FAILED " + failures);
WScript.Quit(failures);
