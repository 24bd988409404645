Attribute VB_Name = "Grids"
Option Explicit
' Helpers shared by the grid forms.
' Dim Example As VireoCore.StyleDisp is only a comment and stays as it is.

Public Function NewStyle(ByVal Name As String) As VireoCore.StyleDisp
    Dim s As New VireoCore.StyleDisp
    s.Name = Name
    Set NewStyle = s
End Function

Public Sub SizeColumns(ByVal Grid As VireoCore.VireoCtl, _
                       ByVal Widths As Variant)
    Dim c As VireoCore.Column, i As Integer
    For i = 0 To UBound(Widths)
        Set c = Grid.Columns(i)
        c.Width = Widths(i)
    Next i
End Sub

Rem Dim Old As VireoCore.Split stays a remark.
