Attribute VB_Name = "Sample"
' Sample.bas - KORVA_VB6.bas used the way a program uses it: split a record,
' convert a field, look up a configuration variable, write a log line.
'
' Where the DLLs must be: KORVA_VB6.dll and the product's KORVA.dll and
' libq47.dll together, beside your EXE. Run from the IDE, the program is
' VB6.EXE, whose folder is not yours: KorvaPreload below loads the three from
' this project's folder (App.Path) or, as the release zip lays them out, from
' its bin folder; put KORVA.dll and libq47.dll beside KORVA_VB6.dll there. A
' DLL that cannot be loaded shows as error 53 (File not found) or 48 (Error
' in loading DLL) at the first call into it.
'
' Debug.Print writes to the Immediate window (Ctrl+G) in the IDE only; the
' compiled EXE shows the MsgBox at the end.
Option Explicit

Sub Main()
    Dim Delims(0 To 1) As String, Fields() As String, i As Long
    Dim Quantity As Long, Boxes As Long, TempDir As Variant

    On Error GoTo Failed
    If Not KorvaPreload(App.Path) Then KorvaPreload App.Path & "\..\..\bin"

    ' Fields end at ";" or "::"; inside double quotes neither splits.
    Delims(0) = ";"
    Delims(1) = "::"
    Fields = KorvaSplit("ORDER;42::""Smith; John"";7 boxes", Delims, True)
    For i = 0 To UBound(Fields)
        Debug.Print "field " & i & ": [" & Fields(i) & "]"
    Next

    Quantity = FieldToLong(Fields(1), 0)    ' 42
    Boxes = FieldToLong(Fields(3), -1)      ' "7 boxes" is no number: -1

    ' A product configuration variable: Empty when it is not defined.
    TempDir = KorvaGetVariable("TEMPDIR")
    If IsEmpty(TempDir) Then TempDir = "(not defined)"

    ' Into the host's diagnostic log; "%" and the like are written as they are.
    KorvaDebugLog "Sample: order for " & Fields(2) & ", quantity " & Quantity

    MsgBox "Customer: " & Fields(2) & vbCrLf & "Quantity: " & Quantity & vbCrLf & _
           "Boxes: " & Boxes & vbCrLf & "TEMPDIR: " & TempDir, vbInformation, "KORVA_VB6 sample"
    Exit Sub
Failed:
    MsgBox "Error " & Err.Number & " (" & Err.Source & "): " & Err.Description, vbCritical, "KORVA_VB6 sample"
End Sub

' FieldText as a Long, or Fallback when it holds no number. KorvaToLong
' raises an error for such text rather than returning 0 (a field of blanks
' only is 0, though) and reads "010" as octal 8: see its comments in
' KORVA_VB6.bas. Errors this function does not expect go on to the caller.
Private Function FieldToLong(ByVal FieldText As String, ByVal Fallback As Long) As Long
    On Error GoTo Bad
    FieldToLong = KorvaToLong(FieldText)
    Exit Function
Bad:
    Select Case Err.Number
    Case KORVA_ERR_EMPTY, KORVA_ERR_TRAILING, 6    ' 6: outside the Long range
        Debug.Print "not a number: [" & FieldText & "] - " & Err.Description
        FieldToLong = Fallback
    Case Else
        Err.Raise Err.Number, Err.Source, Err.Description
    End Select
End Function
