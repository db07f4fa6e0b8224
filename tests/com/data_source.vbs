' DataSource from VBScript: the operations on the example data source, by ProgID, with
' ASCII keys and values (Wine's VBScript reads this file as cp1252).
' cscript data_source.vbs <notice.ds.xml> <scratch folder>
' Ends with "ALL PASSED" or "FAILED <n>"; the exit code is the number of failures.
Option Explicit
Dim failures, ds, again, saved, source, scratch
failures = 0

Sub Check(name, got, want)
  If got <> want Then
    failures = failures + 1
    WScript.Echo "FAILED: " & name
  End If
End Sub

source = WScript.Arguments(0)
scratch = WScript.Arguments(1)
Set ds = CreateObject("QNMuroWPS.DataSource")
Check "LoadXML", ds.LoadXML(source), True
Check "ItemGetDescByName", Len(ds.ItemGetDescByName("title")), 2
Check "ItemGetValueByName", Len(ds.ItemGetValueByName("signer")), 2
Check "ItemGetValueByName missing", ds.ItemGetValueByName("none"), ""
Check "ItemGetExtendValueByName", ds.ItemGetExtendValueByName("docNumber", "year"), "2026"
Check "ItemIsExtendExist", ds.ItemIsExtendExist("docNumber"), True
Check "ItemIsExtendExist empty", ds.ItemIsExtendExist("sender"), False
Check "ItemSetValueByName", ds.ItemSetValueByName("signer", "Wang"), ""
Check "ItemGetValueByDesc", Len(ds.ItemGetValueByDesc(ds.ItemGetDescByName("signer"))), 4
Check "ItemSetValueByDesc", ds.ItemSetValueByDesc(ds.ItemGetDescByName("title"), "Notice"), ""
saved = scratch & "\saved.vbs.xml"
ds.Save saved
Set again = CreateObject("QNMuroWPS.DataSource")
Check "reload", again.LoadXML(saved), True
Check "written by name", again.ItemGetValueByName("signer"), "Wang"
Check "written by desc", again.ItemGetValueByName("title"), "Notice"
Check "LoadXML missing file", again.LoadXML(scratch & "\none.xml"), False

On Error Resume Next
ds.Save scratch & "\no\such\folder\x.xml"
Check "Save error number", Err.Number, 75
Check "Save error description", InStr(Err.Description, "Cannot write"), 1
On Error GoTo 0

If failures = 0 Then
  WScript.Echo "ALL PASSED"
Else
  WScript.Echo "FAILED " & failures
End If
WScript.Quit failures
