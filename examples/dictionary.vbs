' Fills the Scripting.Dictionary given on the command line and prints what it holds:
'   qsinspect --script examples/dictionary.vbs Scripting.Dictionary
' The object is named after its interface, IDictionary. Enumeration constants of the libraries
' exposed to the script are used by their bare names: TextCompare from the scripting runtime's
' library, Checked from OLE Automation's.

IDictionary.CompareMode = TextCompare
IDictionary.Add "apple", 3
IDictionary.Add "pear", 5
IDictionary.Add "plum", 12

Debug.Print "Count: " & IDictionary.Count
For Each key In IDictionary.Keys
    Debug.Print key & " = " & IDictionary.Item(key)
Next
Debug.Print "Has PEAR: " & IDictionary.Exists("PEAR")
Debug.Print "TextCompare = " & TextCompare
Debug.Print "Checked = " & Checked

total = 0
For Each key In IDictionary.Keys
    total = total + IDictionary.Item(key)
Next
Debug.Print total
Debug.Print total / 8
Debug.Print Null
Debug.Print IDictionary
