VERSION 4.00
Begin VB.Form frmLookup 
   Caption         =   "Units"
   ClientHeight    =   3000
   ClientLeft      =   2000
   ClientTop       =   2000
   ClientWidth     =   4500
   Height          =   3405
   Left            =   1940
   LinkTopic       =   "Form2"
   ScaleHeight     =   3000
   ScaleWidth      =   4500
   Top             =   1655
   Width           =   4620
   Begin VireoCore.VireoDropDown ddnUnits 
      Height          =   1200
      Left            =   120
      OleObjectBlob   =   "Lookup.frx":0000
      TabIndex        =   0
      Top             =   120
      Width           =   2400
   End
   Begin VireoCore.VireoCtl grdUnits 
      Height          =   1500
      Left            =   120
      OleObjectBlob   =   "Lookup.frx":0030
      TabIndex        =   1
      Top             =   1400
      Width           =   4200
   End
End
Attribute VB_Name = "frmLookup"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
Option Explicit

Private Sub ddnUnits_UnboundReadData(ByVal RowBuf As RowBuffer, StartLocation As Variant, ByVal ReadPriorRows As Boolean)
    RowBuf.RowCount = 0
End Sub

Private Sub grdUnits_FetchCellStyle(ByVal Condition As Integer, ByVal Split As Integer, Bookmark As Variant, ByVal Col As Integer, ByVal CellStyle As StyleDisp)
    CellStyle.Font.Bold = (Col = 0)
End Sub
