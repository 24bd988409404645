VERSION 4.00
Begin VB.Form frmMain 
   Caption         =   "Inventory"
   ClientHeight    =   4800
   ClientLeft      =   1200
   ClientTop       =   1500
   ClientWidth     =   7200
   Height          =   5205
   Left            =   1140
   LinkTopic       =   "Form1"
   ScaleHeight     =   4800
   ScaleWidth      =   7200
   Top             =   1155
   Width           =   7320
   Begin VB.Frame fraItems 
      Caption         =   "Items"
      Height          =   3000
      Left            =   120
      TabIndex        =   1
      Top             =   120
      Width           =   6900
      Begin VireoCore.VireoCtl grdItems 
         Height          =   2600
         Left            =   120
         OleObjectBlob   =   "Main.frx":0000
         TabIndex        =   2
         Top             =   240
         Width           =   6600
      End
   End
   Begin VireoCore.VireoCtl grdOrders 
      Height          =   1400
      Left            =   120
      OleObjectBlob   =   "Main.frx":0040
      TabIndex        =   3
      Top             =   3240
      Width           =   6900
   End
   Begin VB.CommandButton cmdClose 
      Caption         =   "&Close"
      Height          =   375
      Left            =   5880
      TabIndex        =   4
      Top             =   4320
      Width           =   1095
   End
End
Attribute VB_Name = "frmMain"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
Option Explicit

Private mHighlight As VireoCore.StyleDisp
Private mRows As Long

Private Sub cmdClose_Click()
    Unload Me
End Sub

Private Sub Form_Load()
    mRows = 40
    Set mHighlight = NewStyle("Highlight")
End Sub

Private Sub grdItems_FetchCellStyle(ByVal Condition As Integer, ByVal Split As Integer, Bookmark As Variant, ByVal Col As Integer, ByVal CellStyle As Object)
    ' Low stock shows in the highlight style.
    If Col = 2 And Val(grdItems.Columns(2).CellText(Bookmark)) < 5 Then
        CellStyle.ForeColor = mHighlight.ForeColor
    End If
End Sub

Private Sub grdItems_UnboundReadData(ByVal RowBuf As RowBuffer, _
        StartLocation As Variant, ByVal ReadPriorRows As Boolean)
    RowBuf.RowCount = 0
End Sub

Private Sub grdOrders_FirstRowChange()
    grdItems.Refresh
End Sub

Private Sub grdOrders_LeftColChange()
    grdItems.LeftCol = grdOrders.LeftCol
End Sub
