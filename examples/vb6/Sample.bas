Attribute VB_Name = "Sample"
' Sample.bas - KORVA_VB6.bas used the way a program uses it: split a record,
' convert a field, look up a configuration variable, write a log line.
'
' Where the DLLs must be: KORVA_VB6.dll beside your EXE, and the product's
' KORVA.dll and libq47.dll beside it (or all three on the PATH). Run from
' the IDE, the program is VB6.EXE, whose folder is not yours: put the three
' on the PATH for that. A DLL that cannot be loaded shows as error 53 (File
' not found) or 48 (Error in loading DLL) at the first call into it.
'
' Debug.Print writes to the Immediate window (Ctrl+G) in the IDE only; the
' compiled EXE shows the MsgBox at the end.
Option Explicit

Sub Main()
    Dim d(1) As String, fields() As String, i As Long
    Dim quantity As Long, boxes As Long, tempDir As Variant

    On Error GoTo Failed
    ' Fields end at ";" or "::"; inside double quotes neither splits.
    d(0) = ";"
    d(1) = "::"
    fields = KorvaSplit("ORDER;42::""Smith; John"";7 boxes", d, True)
    For i = 0 To UBound(fields)
        Debug.Print "field " & i & ": [" & fields(i) & "]"
    Next

    quantity = FieldToLong(fields(1), 0)    ' 42
    boxes = FieldToLong(fields(3), -1)      ' "7 boxes" is no number: -1

    ' A product configuration variable: Empty when it is not defined.
    tempDir = KorvaGetVariable("TEMPDIR")
    If IsEmpty(tempDir) Then tempDir = "(not defined)"

    ' Into the host's diagnostic log; "%" and the like are written as they are.
    KorvaDebugLog "Sample: order for " & fields(2) & ", quantity " & quantity

    MsgBox "Customer: " & fields(2) & vbCrLf & "Quantity: " & quantity & vbCrLf & _
           "Boxes: " & boxes & vbCrLf & "TEMPDIR: " & tempDir, vbInformation, "KORVA_VB6 sample"
    Exit Sub
Failed:
    MsgBox "Error " & Err.Number & " (" & Err.Source & "): " & Err.Description, vbCritical, "KORVA_VB6 sample"
End Sub

' field as a Long, or fallback when it holds no number. KorvaToLong raises
' an error for such text rather than returning 0 (a field of blanks only is
' 0, though) and reads "010" as octal 8: see its comments in KORVA_VB6.bas.
' Errors this function does not expect go on to the caller.
Private Function FieldToLong(ByVal field As String, ByVal fallback As Long) As Long
    On Error GoTo Bad
    FieldToLong = KorvaToLong(field)
    Exit Function
Bad:
    Select Case Err.Number
    Case KORVA_ERR_EMPTY, KORVA_ERR_TRAILING, 6    ' 6: outside the Long range
        Debug.Print "not a number: [" & field & "] - " & Err.Description
        FieldToLong = fallback
    Case Else
        Err.Raise Err.Number, Err.Source, Err.Description
    End Select
End Function
