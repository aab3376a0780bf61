Attribute VB_Name = "modKorvaVB6"
' KORVA_VB6.bas - declarations and helpers for KORVA_VB6.dll
'
' KORVA_VB6.dll is a 32-bit DLL: it loads into 32-bit processes only, which
' every Visual Basic 6 program is. It imports the product's KORVA.dll and
' libq47.dll: without them it cannot be loaded at all, and the first call
' into it raises error 53 ("File not found: KORVA_VB6.dll") or 48 ("Error in
' loading DLL"). Keep the three DLLs together beside your EXE. Running from
' the IDE, call KorvaPreload first (see there).
'
' The module is named modKorvaVB6 so that a project may also reference the
' type library KORVA_VB6.tlb (library KORVA_VB6) without a name conflict. Its
' own constants carry the KORVA_ prefix, and its Windows declarations are
' Private, so it adds no name that a Windows API module declares too.
'
' Conventions of the Declares below
'   ByVal ... As String   ANSI text in (VB converts the string to ANSI and,
'                         for the in-place exports, copies the changes back).
'                         An unassigned String or vbNullString reaches the
'                         DLL as a null pointer; "" as an empty text.
'   ByRef ... As Long     a 32-bit out-parameter
'   ... As Long result    a pointer returned by the DLL. For a ByVal String
'                         argument VB passes a temporary ANSI copy and frees
'                         it as soon as the call returns, so a Long that
'                         points into that argument dangles at once: never
'                         read through it. Use the String instead (VB copies
'                         the DLL's changes back into it) and copy what you
'                         need from it at once. Two pointers do stay valid:
'                         the token array of the tokenizer (until the next
'                         parse) and the buffer KORVA_FILTER_CRLF(vbNullString)
'                         allocates (until you free it). See Ownership.
'
' Ownership
'   - The token array of korva_parsebuf / korva_parsebuf_wrapper belongs to
'     the DLL and lives only until the next parse, by anyone: copy the tokens
'     at once with KorvaCopyTokens (KorvaSplit does).
'   - The default message of KORVA_FILTER_CRLF(vbNullString) is yours: free
'     it with LocalFree (KorvaDefaultMessage and KorvaFilterCrLf do).
'   - The Variant returned by Q47_GETENVVB is yours; VB frees it as usual.
'
' Logging: KernelDebugLog and KernelDebugLogEx take a variable argument list
' and so use the C calling convention; a Declare cannot call them (error 49,
' "Bad DLL calling convention"). Call KorvaDebugLog / KorvaDebugLogEx below
' instead.
Option Explicit

' ---------------------------------------------------------------- blanks
Public Declare Sub korva_trimblanks Lib "KORVA_VB6.dll" (ByVal Buffer As String, ByVal Length As Long)
Public Declare Function korva_trimBlanksEx Lib "KORVA_VB6.dll" (ByVal Buffer As String, ByVal Length As Long) As Long
Public Declare Function korva_lefttrim Lib "KORVA_VB6.dll" (ByVal Text As String) As Long
Public Declare Function korva_leftpack Lib "KORVA_VB6.dll" (ByVal Text As String) As Long
Public Declare Function korva_lefttrim_r Lib "KORVA_VB6.dll" (ByVal Source As String, ByVal MaxLength As Long, ByVal Dest As String) As Long

' ---------------------------------------------- case and integer conversion
Public Declare Function korva_upper Lib "KORVA_VB6.dll" (ByVal Text As String) As Long
Public Declare Function korva_lower Lib "KORVA_VB6.dll" (ByVal Text As String) As Long
Public Declare Function korva_upper_r Lib "KORVA_VB6.dll" (ByVal Source As String, ByVal Dest As String) As Long
Public Declare Function korva_lower_r Lib "KORVA_VB6.dll" (ByVal Source As String, ByVal Dest As String) As Long
Public Declare Sub korva_atoi Lib "KORVA_VB6.dll" (ByVal Text As String, ByRef Result As Long, ByRef Status As Long)

' ---------------------------------------------------- message line endings
Public Declare Function KORVA_FILTER_CRLF Lib "KORVA_VB6.dll" (ByVal Text As String) As Long
Public Declare Function KORVA_FILTER_ALL_CRLF Lib "KORVA_VB6.dll" (ByVal Text As String) As Long

' ---------------------------------------------------------------- tokenizer
Public Declare Sub korva_parsebuf Lib "KORVA_VB6.dll" (ByVal Text As String, ByRef Tokens As Long, ByRef Count As Long, ByVal DelimCount As Long, ByVal Delims As String, ByVal Quote As Long, ByRef Status As Long)
Public Declare Sub korva_parsebuf_wrapper Lib "KORVA_VB6.dll" (ByVal Text As String, ByRef Tokens As Long, ByRef Count As Long, ByVal DelimCount As Long, ByVal Delims As String, ByVal Quote As Long, ByRef Status As Long)

' ---------------------------------------------------------- host variables
Public Declare Function Q47_GETENVVB Lib "KORVA_VB6.dll" (ByVal Name As Variant) As Variant

' --------------------------------------------------------- error retrieval
Public Declare Function korva_GetLastError Lib "KORVA_VB6.dll" () As Long
Public Declare Sub korva_GetLastErrorEx Lib "KORVA_VB6.dll" (ByRef CrtError As Long, ByRef SysError As Long, ByRef NotFound As Long)

' ---------------------------------------------------------- platform probes
Public Declare Function KORVA_UTILS_ISUSERADMINISTRATOR Lib "KORVA_VB6.dll" () As Long
Public Declare Function KORVA_IsWow64 Lib "KORVA_VB6.dll" () As Long
' Disable and Revert switch file-system redirection off and back on for the
' calling thread; call them on the same thread, in pairs, close together.
' While redirection is off, Windows cannot load a DLL: VB loads a Declare'd
' DLL at the first call into it, so call nothing between the two whose DLL
' has not been called before (KORVA_VB6.dll is loaded by then). In the IDE an
' error or End between the two leaves VB6.EXE's thread with redirection off:
' revert in your error handler too.
Public Declare Function KORVA_MyWow64Disable Lib "KORVA_VB6.dll" (ByRef OldValue As Long) As Long
Public Declare Function KORVA_MyWow64Revert Lib "KORVA_VB6.dll" (ByVal OldValue As Long) As Long
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
' The registry view flags GetKorvaRegSamViewFlag and GetVn35RegSamViewFlag
' return (Windows' KEY_WOW64_64KEY and KEY_WOW64_32KEY).
Public Const KORVA_KEY_WOW64_64KEY As Long = &H100
Public Const KORVA_KEY_WOW64_32KEY As Long = &H200

' Errors raised by the helpers below (besides VB's own 6, 48 and 53)
Public Const KORVA_ERR_LOCKED As Long = vbObjectError + &H4B01
Public Const KORVA_ERR_DELIMITERS As Long = vbObjectError + &H4B02
Public Const KORVA_ERR_TOKENIZER As Long = vbObjectError + &H4B03
Public Const KORVA_ERR_EMPTY As Long = vbObjectError + &H4B11
Public Const KORVA_ERR_TRAILING As Long = vbObjectError + &H4B12
Public Const KORVA_ERR_CONVERSION As Long = vbObjectError + &H4B13

' ------------------------------------------------- Windows, for the helpers
Private Declare Function lstrlenA Lib "kernel32" (ByVal Ptr As Long) As Long
Private Declare Sub RtlMoveMemory Lib "kernel32" (ByRef Destination As Any, ByVal Source As Long, ByVal Length As Long)
Private Declare Function LocalFree Lib "kernel32" (ByVal Mem As Long) As Long
Private Declare Function GetModuleHandleA Lib "kernel32" (ByVal ModuleName As String) As Long
Private Declare Function LoadLibraryA Lib "kernel32" (ByVal FileName As String) As Long
Private Declare Function LoadLibraryExA Lib "kernel32" (ByVal FileName As String, ByVal File As Long, ByVal Flags As Long) As Long
Private Declare Function GetProcAddress Lib "kernel32" (ByVal DllHandle As Long, ByVal ProcName As String) As Long
Private Declare Function DispCallFunc Lib "oleaut32" (ByVal Instance As Long, ByVal Offset As Long, ByVal CallConv As Long, ByVal RetType As Integer, ByVal ArgCount As Long, ByRef ArgTypes As Integer, ByRef ArgValues As Long, ByRef Result As Variant) As Long
Private Const CC_CDECL As Long = 1
Private Const LOAD_WITH_ALTERED_SEARCH_PATH As Long = &H8
Private Const KORVA_DLL As String = "KORVA_VB6.dll"

' Loads KORVA_VB6.dll from Folder (App.Path when it is omitted) before any
' Declare needs it, so that the IDE (whose program is VB6.EXE, in a folder of
' its own) finds the DLLs beside your project: Windows then looks for
' KORVA.dll and libq47.dll in that folder too, and every Declare of this
' module binds to the module already loaded. Returns True when KORVA_VB6.dll
' is loaded (now or before), False when it could not be loaded from Folder;
' Err.LastDllError then holds the Windows error (126: it or a DLL it imports
' is not there), and the first call still searches the usual places.
' Call it first, e.g. in Sub Main or Form_Load; a compiled EXE needs it only
' when the DLLs do not sit beside it.
Public Function KorvaPreload(Optional ByVal Folder As String) As Boolean
    If GetModuleHandleA(KORVA_DLL) <> 0 Then
        KorvaPreload = True
        Exit Function
    End If
    If Len(Folder) = 0 Then Folder = App.Path
    If Right$(Folder, 1) <> "\" Then Folder = Folder & "\"
    KorvaPreload = LoadLibraryExA(Folder & KORVA_DLL, 0, LOAD_WITH_ALTERED_SEARCH_PATH) <> 0
End Function

' A copy of the NUL-terminated ANSI text at Ptr ("" for a null pointer).
Public Function KorvaPtrToString(ByVal Ptr As Long) As String
    Dim Length As Long, Bytes() As Byte
    If Ptr = 0 Then Exit Function
    Length = lstrlenA(Ptr)
    If Length = 0 Then Exit Function
    ReDim Bytes(0 To Length - 1)
    RtlMoveMemory Bytes(0), Ptr, Length
    KorvaPtrToString = StrConv(Bytes, vbUnicode)
End Function

' A copy of the Count tokens of the token array at Tokens, as korva_parsebuf
' and korva_parsebuf_wrapper hand them out; an empty array (UBound -1) when
' Count is 0. Call it right after the parse: the tokens are the DLL's only
' until the next parse, by any thread.
Public Function KorvaCopyTokens(ByVal Tokens As Long, ByVal Count As Long) As String()
    Dim Result() As String, Ptr As Long, i As Long
    If Count <= 0 Or Tokens = 0 Then
        KorvaCopyTokens = Split(vbNullString)
        Exit Function
    End If
    ReDim Result(0 To Count - 1)
    For i = 0 To Count - 1
        RtlMoveMemory Ptr, Tokens + 4 * i, 4
        Result(i) = KorvaPtrToString(Ptr)
    Next
    KorvaCopyTokens = Result
End Function

' The part of s before its first NUL: the in-place exports end their result
' with a NUL inside the string VB hands back.
Private Function BeforeNul(ByVal s As String) As String
    Dim p As Long
    p = InStr(s, vbNullChar)
    If p > 0 Then BeforeNul = Left$(s, p - 1) Else BeforeNul = s
End Function

' Splits Text at any of Delimiters (tried in order; the first that matches
' wins) through the locked entry, and returns a copy of the tokens. With
' HonourQuotes, delimiters inside double quotes do not split and the outer
' quotes are removed. Returns an empty array (UBound -1) when there is no
' token. Raises KORVA_ERR_LOCKED when the host refuses the parse lock,
' KORVA_ERR_DELIMITERS when the array is empty or was never dimensioned, or
' holds an empty delimiter or one with vbNullChar in it, and
' KORVA_ERR_TOKENIZER for any other failure.
'
' What the DLL does to Text first: it ends at its first vbNullChar, and its
' trailing blank bytes are cut before the split. Blank bytes are the control
' characters, the space and every ANSI byte 0x80-0xFF, accented letters
' included: "Name;Jos" & Chr$(233) ends in the token "Jos". Leading blanks
' stay: "a; b" gives "a" and " b".
'
' Example (";" or "::" between fields, quotes honoured):
'     Dim Delims(0 To 1) As String, Fields() As String, i As Long
'     Delims(0) = ";"
'     Delims(1) = "::"
'     Fields = KorvaSplit("a;b::""c;d""", Delims, True)
'     For i = 0 To UBound(Fields)
'         Debug.Print i, Fields(i)
'     Next
' prints 0 a, 1 b, 2 c;d: the quotes keep "c;d" whole and are removed.
Public Function KorvaSplit(ByVal Text As String, Delimiters() As String, ByVal HonourQuotes As Boolean) As String()
    Dim Block As String, i As Long, n As Long
    Dim Tokens As Long, Count As Long, Status As Long

    n = -1
    On Error Resume Next
    n = UBound(Delimiters) - LBound(Delimiters) + 1    ' error 9 when never dimensioned
    On Error GoTo 0
    If n < 1 Then Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "No delimiter was given."
    For i = LBound(Delimiters) To UBound(Delimiters)
        If Len(Delimiters(i)) = 0 Or InStr(Delimiters(i), vbNullChar) > 0 Then
            Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "Delimiter " & i & " is empty or holds vbNullChar."
        End If
        Block = Block & Delimiters(i) & vbNullChar
    Next

    korva_parsebuf_wrapper Text, Tokens, Count, n, Block, IIf(HonourQuotes, 1, 0), Status
    Select Case Status
    Case KORVA_PARSE_OK
    Case KORVA_PARSE_LOCKED
        Err.Raise KORVA_ERR_LOCKED, "KorvaSplit", "The host refused the parse lock; nothing was parsed. Try again."
    Case KORVA_PARSE_BADDELIM
        Err.Raise KORVA_ERR_DELIMITERS, "KorvaSplit", "The delimiter list was refused."
    Case Else
        Err.Raise KORVA_ERR_TOKENIZER, "KorvaSplit", "The tokenizer failed with status " & Status & "."
    End Select
    KorvaSplit = KorvaCopyTokens(Tokens, Count)
End Function

' Text as a Long: decimal, 0x hexadecimal or 0 octal, blanks around it
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
Public Function KorvaToLong(ByVal Text As String) As Long
    Dim Result As Long, Status As Long
    korva_atoi Text, Result, Status
    Select Case Status
    Case KORVA_ATOI_OK
        KorvaToLong = Result
    Case KORVA_ATOI_EMPTY
        Err.Raise KORVA_ERR_EMPTY, "KorvaToLong", "The text is empty."
    Case KORVA_ATOI_TRAILING
        Err.Raise KORVA_ERR_TRAILING, "KorvaToLong", "Characters follow the number in """ & Text & """."
    Case KORVA_ATOI_RANGE
        Err.Raise 6, "KorvaToLong", "The number in """ & Text & """ is outside the range of a Long."
    Case Else
        Err.Raise KORVA_ERR_CONVERSION, "KorvaToLong", "The conversion failed with C runtime error " & Status & "."
    End Select
End Function

' The trimming helpers below are for fixed-length strings (Dim s As String *
' 20): the result is a variable-length String. Blank bytes are the control
' characters, the space, NUL and, in ANSI, every byte above 127 (accented
' letters too). The DLL sees the text up to its first vbNullChar only:
' whatever follows it is not in the result, and a fixed-length string that
' was never assigned (all NULs) gives "".

' Removes every blank byte from both ends.
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

' a-z / A-Z only: accented letters are left as they are. The text ends at its
' first vbNullChar.
Public Function KorvaUpper(ByVal s As String) As String
    korva_upper s
    KorvaUpper = BeforeNul(s)
End Function

Public Function KorvaLower(ByVal s As String) As String
    korva_lower s
    KorvaLower = BeforeNul(s)
End Function

' A message whose last two bytes are its first CR LF, with that CR LF
' turned into LF (removed with RemoveAll); a message with an earlier CR LF,
' such as "a" & vbCrLf & "b" & vbCrLf, is left as it is. No message at all
' (vbNullString, or a String never assigned) gives the DLL's default
' message, as KorvaDefaultMessage does; "" gives "".
Public Function KorvaFilterCrLf(ByVal Message As String, Optional ByVal RemoveAll As Boolean = False) As String
    If StrPtr(Message) = 0 Then
        KorvaFilterCrLf = KorvaDefaultMessage()
        Exit Function
    End If
    If RemoveAll Then KORVA_FILTER_ALL_CRLF Message Else KORVA_FILTER_CRLF Message
    KorvaFilterCrLf = BeforeNul(Message)
End Function

' "No English error message text found" & vbLf, from the DLL's buffer,
' which is freed here.
Public Function KorvaDefaultMessage() As String
    Dim Ptr As Long
    Ptr = KORVA_FILTER_CRLF(vbNullString)
    If Ptr = 0 Then Err.Raise 7, "KorvaDefaultMessage", "Out of memory."
    KorvaDefaultMessage = KorvaPtrToString(Ptr)
    LocalFree Ptr
End Function

' A product configuration variable; Empty when it is not defined.
Public Function KorvaGetVariable(ByVal Name As String) As Variant
    KorvaGetVariable = Q47_GETENVVB(Name)
End Function

' A DLL that cannot be loaded raises what a Declare raises: 53 when a file
' is missing, 48 otherwise.
Private Sub RaiseLoadError(ByVal WinError As Long, ByVal Source As String)
    If WinError = 2 Or WinError = 3 Or WinError = 126 Then
        Err.Raise 53, Source, "File not found: " & KORVA_DLL & " (Windows error " & WinError & _
                  ": it, KORVA.dll or libq47.dll is missing)"
    End If
    Err.Raise 48, Source, "Error in loading DLL " & KORVA_DLL & " (Windows error " & WinError & ")"
End Sub

' Calls a C-convention export with the texts and Longs of Args (what Array()
' gives) through DispCallFunc. Each text goes as a NUL-terminated ANSI copy,
' never as a null pointer.
Private Sub CallCdecl(ByVal Entry As String, ByVal Args As Variant)
    Dim DllHandle As Long, Proc As Long, i As Long, n As Long, Hr As Long
    Dim Types() As Integer, Values() As Variant, Ptrs() As Long, Texts() As String, Ret As Variant

    DllHandle = GetModuleHandleA(KORVA_DLL)
    If DllHandle = 0 Then DllHandle = LoadLibraryA(KORVA_DLL)
    If DllHandle = 0 Then RaiseLoadError Err.LastDllError, Entry
    Proc = GetProcAddress(DllHandle, Entry)
    If Proc = 0 Then Err.Raise 453, Entry, "Can't find DLL entry point " & Entry & " in " & KORVA_DLL & "."

    n = UBound(Args) - LBound(Args) + 1
    ReDim Types(0 To n - 1): ReDim Values(0 To n - 1)
    ReDim Ptrs(0 To n - 1): ReDim Texts(0 To n - 1)
    For i = 0 To n - 1
        Types(i) = vbLong
        If VarType(Args(LBound(Args) + i)) = vbString Then
            Texts(i) = StrConv(Args(LBound(Args) + i) & vbNullChar, vbFromUnicode)
            Values(i) = StrPtr(Texts(i))
        Else
            Values(i) = CLng(Args(LBound(Args) + i))
        End If
        Ptrs(i) = VarPtr(Values(i))     ' DispCallFunc takes pointers to the VARIANTs
    Next
    Hr = DispCallFunc(0, Proc, CC_CDECL, vbEmpty, n, Types(0), Ptrs(0), Ret)
    If Hr <> 0 Then Err.Raise Hr, Entry, "DispCallFunc failed."
End Sub

' Writes Message into the host's diagnostic log (area "KERNEL_DEBUG"), with
' the format "%s", so a "%" in it is no format. The host writes at most 511
' characters of it (2055 with KorvaDebugLogEx) and in the ANSI code page:
' characters outside it become "?". Raises 53 or 48 when KORVA_VB6.dll
' cannot be loaded.
Public Sub KorvaDebugLog(ByVal Message As String)
    CallCdecl "KernelDebugLog", Array("%s", Message)
End Sub

' Writes Message into the host's diagnostic log under Area and MsgNo.
Public Sub KorvaDebugLogEx(ByVal Area As String, ByVal MsgNo As Long, ByVal Message As String)
    CallCdecl "KernelDebugLogEx", Array(Area, MsgNo, "%s", Message)
End Sub
