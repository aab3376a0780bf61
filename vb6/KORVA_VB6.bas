Attribute VB_Name = "KORVA_VB6"
' KORVA_VB6.bas - declarations and helpers for KORVA_VB6.dll
'
' KORVA_VB6.dll is a 32-bit DLL: it loads into 32-bit processes only, which
' every Visual Basic 6 program is. It needs the product's KORVA.dll and
' libq47.dll beside it (or on the PATH).
'
' Conventions of the Declares below
'   ByVal ... As String   ANSI text in (VB converts the string to ANSI and,
'                         for the in-place exports, copies the changes back)
'   ByRef ... As Long     a 32-bit out-parameter
'   ... As Long result    a pointer returned by the DLL. For a ByVal String
'                         argument VB passes a temporary ANSI copy and frees
'                         it as soon as the call returns, so a Long that
'                         points into that argument dangles at once: never
'                         read through it. Use the String instead (VB copies
'                         the DLL's changes back into it) and copy what you
'                         need from it at once. The one pointer that stays
'                         valid is the buffer KORVA_FILTER_CRLF(vbNullString)
'                         allocates (see Ownership).
'
' Ownership
'   - The token array of korva_parsebuf / korva_parsebuf_wrapper belongs to
'     the DLL and lives only until the next parse, by anyone: copy the tokens
'     at once (KorvaSplit does).
'   - The default message of KORVA_FILTER_CRLF(vbNullString) is yours: free
'     it with LocalFree (KorvaDefaultMessage does).
'   - The Variant returned by Q47_GETENVVB is yours; VB frees it as usual.
'
' Logging: KernelDebugLog and KernelDebugLogEx take a variable argument list
' and so use the C calling convention; a Declare cannot call them (error 49,
' "Bad DLL calling convention"). Call KorvaDebugLog / KorvaDebugLogEx below
' instead: they call the C entries through OLE Automation's DispCallFunc with
' the format "%s", so your text is logged exactly as it is.
Option Explicit

' ---------------------------------------------------------------- blanks
Public Declare Sub korva_trimblanks Lib "KORVA_VB6.dll" (ByVal buf As String, ByVal length As Long)
Public Declare Function korva_trimBlanksEx Lib "KORVA_VB6.dll" (ByVal buf As String, ByVal length As Long) As Long
Public Declare Function korva_lefttrim Lib "KORVA_VB6.dll" (ByVal text As String) As Long
Public Declare Function korva_leftpack Lib "KORVA_VB6.dll" (ByVal text As String) As Long
Public Declare Function korva_lefttrim_r Lib "KORVA_VB6.dll" (ByVal src As String, ByVal maxlen As Long, ByVal dst As String) As Long

' ---------------------------------------------- case and integer conversion
Public Declare Function korva_upper Lib "KORVA_VB6.dll" (ByVal text As String) As Long
Public Declare Function korva_lower Lib "KORVA_VB6.dll" (ByVal text As String) As Long
Public Declare Function korva_upper_r Lib "KORVA_VB6.dll" (ByVal src As String, ByVal dst As String) As Long
Public Declare Function korva_lower_r Lib "KORVA_VB6.dll" (ByVal src As String, ByVal dst As String) As Long
Public Declare Sub korva_atoi Lib "KORVA_VB6.dll" (ByVal text As String, ByRef result As Long, ByRef status As Long)

' ---------------------------------------------------- message line endings
Public Declare Function KORVA_FILTER_CRLF Lib "KORVA_VB6.dll" (ByVal text As String) As Long
Public Declare Function KORVA_FILTER_ALL_CRLF Lib "KORVA_VB6.dll" (ByVal text As String) As Long

' ---------------------------------------------------------------- tokenizer
Public Declare Sub korva_parsebuf Lib "KORVA_VB6.dll" (ByVal text As String, ByRef tokens As Long, ByRef count As Long, ByVal ndelim As Long, ByVal delims As String, ByVal quote As Long, ByRef status As Long)
Public Declare Sub korva_parsebuf_wrapper Lib "KORVA_VB6.dll" (ByVal text As String, ByRef tokens As Long, ByRef count As Long, ByVal ndelim As Long, ByVal delims As String, ByVal quote As Long, ByRef status As Long)

' ---------------------------------------------------------- host variables
Public Declare Function Q47_GETENVVB Lib "KORVA_VB6.dll" (ByVal name As Variant) As Variant

' --------------------------------------------------------- error retrieval
Public Declare Function korva_GetLastError Lib "KORVA_VB6.dll" () As Long
Public Declare Sub korva_GetLastErrorEx Lib "KORVA_VB6.dll" (ByRef crtError As Long, ByRef sysError As Long, ByRef notFound As Long)

' ---------------------------------------------------------- platform probes
Public Declare Function KORVA_UTILS_ISUSERADMINISTRATOR Lib "KORVA_VB6.dll" () As Long
Public Declare Function KORVA_IsWow64 Lib "KORVA_VB6.dll" () As Long
' Disable and Revert must be called on the same thread, in pairs.
Public Declare Function KORVA_MyWow64Disable Lib "KORVA_VB6.dll" (ByRef oldValue As Long) As Long
Public Declare Function KORVA_MyWow64Revert Lib "KORVA_VB6.dll" (ByVal oldValue As Long) As Long
Public Declare Function KORVA_isVN35_64Bit Lib "KORVA_VB6.dll" () As Long
Public Declare Function GetKorvaRegSamViewFlag Lib "KORVA_VB6.dll" () As Long
Public Declare Function GetVn35RegSamViewFlag Lib "KORVA_VB6.dll" () As Long

' ------------------------------------------------------ status values
Public Const KORVA_PARSE_OK As Long = 0
Public Const KORVA_PARSE_LOCKED As Long = -1
Public Const KORVA_PARSE_BADDELIM As Long = -2
Public Const KORVA_PARSE_NOMEM As Long = 12
Public Const KORVA_ATOI_OK As Long = 0
Public Const KORVA_ATOI_EMPTY As Long = -1
Public Const KORVA_ATOI_TRAILING As Long = -2
Public Const KORVA_ATOI_RANGE As Long = 34
Public Const KEY_WOW64_64KEY As Long = &H100
Public Const KEY_WOW64_32KEY As Long = &H200

' Errors raised by the helpers below
Public Const KORVA_ERR_LOCKED As Long = vbObjectError + &H4B01
Public Const KORVA_ERR_DELIMITERS As Long = vbObjectError + &H4B02
Public Const KORVA_ERR_TOKENIZER As Long = vbObjectError + &H4B03
Public Const KORVA_ERR_EMPTY As Long = vbObjectError + &H4B11
Public Const KORVA_ERR_TRAILING As Long = vbObjectError + &H4B12
Public Const KORVA_ERR_CONVERSION As Long = vbObjectError + &H4B13

' ------------------------------------------------- Windows, for the helpers
Private Declare Function lstrlenA Lib "kernel32" (ByVal ptr As Long) As Long
Private Declare Sub RtlMoveMemory Lib "kernel32" (ByRef dst As Any, ByVal src As Long, ByVal length As Long)
Private Declare Function LocalFree Lib "kernel32" (ByVal mem As Long) As Long
Private Declare Function GetModuleHandleA Lib "kernel32" (ByVal name As String) As Long
Private Declare Function LoadLibraryA Lib "kernel32" (ByVal name As String) As Long
Private Declare Function GetProcAddress Lib "kernel32" (ByVal module As Long, ByVal name As String) As Long
Private Declare Function DispCallFunc Lib "oleaut32" (ByVal instance As Long, ByVal func As Long, ByVal callconv As Long, ByVal retType As Integer, ByVal argCount As Long, ByRef argTypes As Integer, ByRef argValues As Long, ByRef result As Variant) As Long
Private Const CC_CDECL As Long = 1

' A copy of the NUL-terminated ANSI text at ptr ("" for a null pointer).
Public Function KorvaPtrToString(ByVal ptr As Long) As String
    Dim length As Long, bytes() As Byte
    If ptr = 0 Then Exit Function
    length = lstrlenA(ptr)
    If length = 0 Then Exit Function
    ReDim bytes(0 To length - 1)
    RtlMoveMemory bytes(0), ptr, length
    KorvaPtrToString = StrConv(bytes, vbUnicode)
End Function

' The part of s before its first NUL: the in-place exports end their result
' with a NUL inside the string VB hands back.
Private Function BeforeNul(ByVal s As String) As String
    Dim p As Long
    p = InStr(s, vbNullChar)
    If p > 0 Then BeforeNul = Left$(s, p - 1) Else BeforeNul = s
End Function

' Splits line at any of delimiters (tried in order; the first that matches
' wins) through the locked entry, and returns a copy of the tokens. With
' honourQuotes, delimiters inside double quotes do not split. Returns an
' empty array (UBound -1) when there is no token. Raises KORVA_ERR_LOCKED
' when the host refuses the parse lock and KORVA_ERR_DELIMITERS when the
' list is empty or holds an empty delimiter.
'
' Example (";" or "::" between fields, quotes honoured):
'     Dim d(1) As String, fields() As String, i As Long
'     d(0) = ";"
'     d(1) = "::"
'     fields = KorvaSplit("a;b::""c;d""", d, True)
'     For i = 0 To UBound(fields)
'         Debug.Print i, fields(i)
'     Next
' prints 0 a, 1 b, 2 c;d: the quotes keep "c;d" whole and are removed.
Public Function KorvaSplit(ByVal line As String, delimiters() As String, ByVal honourQuotes As Boolean) As String()
    Dim block As String, i As Long, n As Long
    Dim tokens As Long, count As Long, status As Long, ptr As Long
    Dim result() As String

    n = UBound(delimiters) - LBound(delimiters) + 1
    If n < 1 Then Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "No delimiter was given."
    For i = LBound(delimiters) To UBound(delimiters)
        If Len(delimiters(i)) = 0 Then Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "Delimiter " & i & " is empty."
        block = block & delimiters(i) & vbNullChar
    Next

    korva_parsebuf_wrapper line, tokens, count, n, block, IIf(honourQuotes, 1, 0), status
    Select Case status
    Case KORVA_PARSE_OK
    Case KORVA_PARSE_LOCKED
        Err.Raise KORVA_ERR_LOCKED, "KorvaSplit", "The host refused the parse lock; nothing was parsed. Try again."
    Case KORVA_PARSE_BADDELIM
        Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "The delimiter list was refused."
    Case Else
        Err.Raise KORVA_ERR_TOKENIZER, "KorvaSplit", "The tokenizer failed with status " & status & "."
    End Select

    If count = 0 Then
        KorvaSplit = Split(vbNullString)
        Exit Function
    End If
    ' The array and the tokens are the DLL's until the next parse: copy now.
    ReDim result(0 To count - 1)
    For i = 0 To count - 1
        RtlMoveMemory ptr, tokens + 4 * i, 4
        result(i) = KorvaPtrToString(ptr)
    Next
    KorvaSplit = result
End Function

' text as a Long: decimal, 0x hexadecimal or 0 octal, blanks around it
' ignored. Raises KORVA_ERR_EMPTY for an empty text, KORVA_ERR_TRAILING when
' characters follow the number, error 6 (Overflow) outside the Long range,
' and KORVA_ERR_CONVERSION for any other C runtime error.
'
' Where it differs from CLng and Val:
'   - A leading zero means octal: "010" is 8, "0042" is 34, and "08" or "09"
'     raise KORVA_ERR_TRAILING (8 and 9 are no octal digits). Remove the
'     leading zeros of zero-padded decimal fields first.
'   - Hexadecimal is written 0x1F (or 0X1f); there is no &H prefix: "&H1F"
'     raises KORVA_ERR_TRAILING. Hexadecimal obeys the signed range too:
'     "0xFFFFFFFF" raises error 6, where &HFFFFFFFF is -1 in VB.
'   - Blanks are the control characters, the space and every ANSI byte
'     0x80-0xFF (accented letters, the degree sign, Chr$(160) ...), and all
'     of them are cut from both ends: "42" & Chr$(176) and Chr$(233) & "42"
'     both give 42, without an error. Inside the number a blank still
'     counts: "4 2" raises KORVA_ERR_TRAILING.
'   - A field of blanks only ("   ", vbTab) gives 0 without an error; only
'     "" and vbNullString raise KORVA_ERR_EMPTY. Test for a blank field
'     yourself when 0 is not what it should mean.
'   - KORVA_ERR_TRAILING also stands for "no number at all": "abc", "-".
'   - A range error wins over trailing characters: "99999999999x" raises 6.
'   - The text ends at its first vbNullChar: "12" & vbNullChar & "x" is 12.
Public Function KorvaToLong(ByVal text As String) As Long
    Dim result As Long, status As Long
    korva_atoi text, result, status
    Select Case status
    Case KORVA_ATOI_OK
        KorvaToLong = result
    Case KORVA_ATOI_EMPTY
        Err.Raise KORVA_ERR_EMPTY, "KorvaToLong", "The text is empty."
    Case KORVA_ATOI_TRAILING
        Err.Raise KORVA_ERR_TRAILING, "KorvaToLong", "Characters follow the number in """ & text & """."
    Case KORVA_ATOI_RANGE
        Err.Raise 6, "KorvaToLong", "The number in """ & text & """ is outside the range of a Long."
    Case Else
        Err.Raise KORVA_ERR_CONVERSION, "KorvaToLong", "The conversion failed with C runtime error " & status & "."
    End Select
End Function

' Trimming for fixed-length strings (Dim s As String * 20): every blank
' byte (control characters, spaces, NULs and, in ANSI, every byte above 127)
' is removed from both ends; the result is a variable-length String.
Public Function KorvaTrim(ByVal s As String) As String
    korva_lefttrim s
    KorvaTrim = BeforeNul(s)
End Function

' Removes every blank byte wherever it stands.
Public Function KorvaPack(ByVal s As String) As String
    korva_leftpack s
    KorvaPack = BeforeNul(s)
End Function

' Cuts trailing blank bytes only (leading ones stay).
Public Function KorvaTrimRight(ByVal s As String) As String
    korva_trimblanks s, LenB(StrConv(s, vbFromUnicode))
    KorvaTrimRight = BeforeNul(s)
End Function

' a-z / A-Z only: accented letters are left as they are.
Public Function KorvaUpper(ByVal s As String) As String
    korva_upper s
    KorvaUpper = BeforeNul(s)
End Function

Public Function KorvaLower(ByVal s As String) As String
    korva_lower s
    KorvaLower = BeforeNul(s)
End Function

' A message whose last two bytes are its first CR LF, with that CR LF
' turned into LF (removed with removeAll); a message with an earlier CR LF,
' such as "a" & vbCrLf & "b" & vbCrLf, is left as it is.
Public Function KorvaFilterCrLf(ByVal message As String, Optional ByVal removeAll As Boolean = False) As String
    If removeAll Then KORVA_FILTER_ALL_CRLF message Else KORVA_FILTER_CRLF message
    KorvaFilterCrLf = BeforeNul(message)
End Function

' "No English error message text found" & vbLf, from the DLL's buffer,
' which is freed here.
Public Function KorvaDefaultMessage() As String
    Dim ptr As Long
    ptr = KORVA_FILTER_CRLF(vbNullString)
    If ptr = 0 Then Err.Raise 7, "KorvaDefaultMessage", "Out of memory."
    KorvaDefaultMessage = KorvaPtrToString(ptr)
    LocalFree ptr
End Function

' A product configuration variable; Empty when it is not defined.
Public Function KorvaGetVariable(ByVal name As String) As Variant
    KorvaGetVariable = Q47_GETENVVB(name)
End Function

' Calls a C-convention export with ANSI texts and Longs through DispCallFunc.
Private Sub CallCdecl(ByVal entry As String, args() As Variant)
    Dim module As Long, func As Long, i As Long, n As Long, hr As Long
    Dim types() As Integer, values() As Long, ret As Variant
    Dim texts() As String, longs() As Long

    module = GetModuleHandleA("KORVA_VB6.dll")
    If module = 0 Then module = LoadLibraryA("KORVA_VB6.dll")
    func = GetProcAddress(module, entry)
    If func = 0 Then Err.Raise 453, "KORVA_VB6", "KORVA_VB6.dll has no entry " & entry & "."

    n = UBound(args) - LBound(args) + 1
    ReDim types(0 To n - 1): ReDim values(0 To n - 1)
    ReDim texts(0 To n - 1): ReDim longs(0 To n - 1)
    For i = 0 To n - 1
        types(i) = vbLong
        If VarType(args(LBound(args) + i)) = vbString Then
            texts(i) = StrConv(args(LBound(args) + i), vbFromUnicode)   ' ANSI bytes, NUL-terminated
            longs(i) = StrPtr(texts(i))
        Else
            longs(i) = CLng(args(LBound(args) + i))
        End If
    Next
    ' DispCallFunc wants an array of pointers to VARIANTs; build them in place.
    Dim vars() As Variant, ptrs() As Long
    ReDim vars(0 To n - 1): ReDim ptrs(0 To n - 1)
    For i = 0 To n - 1
        vars(i) = longs(i)
        ptrs(i) = VarPtr(vars(i))
    Next
    hr = DispCallFunc(0, func, CC_CDECL, vbEmpty, n, types(0), ptrs(0), ret)
    If hr <> 0 Then Err.Raise hr, "KORVA_VB6", "DispCallFunc failed."
End Sub

' Writes message into the host's diagnostic log (area "KERNEL_DEBUG").
Public Sub KorvaDebugLog(ByVal message As String)
    CallCdecl "KernelDebugLog", Array("%s", message)
End Sub

' Writes message into the host's diagnostic log under area and msgno.
Public Sub KorvaDebugLogEx(ByVal area As String, ByVal msgno As Long, ByVal message As String)
    CallCdecl "KernelDebugLogEx", Array(area, msgno, "%s", message)
End Sub
