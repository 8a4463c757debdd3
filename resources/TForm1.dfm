object Form1: TForm1
  Left = 200
  Top = 109
  BorderIcons = [biSystemMenu]
  BorderStyle = bsNone
  Caption = 'Form1'
  ClientHeight = 180
  ClientWidth = 180
  Color = clMaroon
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  FormStyle = fsStayOnTop
  PopupMenu = PopupMenu1
  Position = poScreenCenter
  Scaled = False
  Visible = True
  OnClose = FormClose
  OnCreate = FormCreate
  OnDblClick = FormDblClick
  OnMouseDown = FormMouseDown
  OnMouseMove = FormMouseMove
  OnMouseUp = FormMouseUp
  OnPaint = FormPaint
  OnShow = FormShow
  object PopupMenu1: TPopupMenu
    object K1: TMenuItem
      Tag = 2
      Caption = 'x 2 Zoom (&2)'
      GroupIndex = 1
      RadioItem = True
      OnClick = K1Click
    end
    object K2: TMenuItem
      Tag = 3
      Caption = 'x 3 Zoom (&3)'
      Checked = True
      GroupIndex = 1
      RadioItem = True
      OnClick = K1Click
    end
    object K3: TMenuItem
      Tag = 5
      Caption = 'x 5 Zoom (&5)'
      GroupIndex = 1
      RadioItem = True
      OnClick = K1Click
    end
    object N2: TMenuItem
      Caption = '-'
      GroupIndex = 1
    end
    object LargeL1: TMenuItem
      Tag = 270
      Caption = 'Large (&L)'
      GroupIndex = 2
      RadioItem = True
      OnClick = LargeL1Click
    end
    object MediumM1: TMenuItem
      Tag = 180
      Caption = 'Medium (&M)'
      Checked = True
      GroupIndex = 2
      RadioItem = True
      OnClick = LargeL1Click
    end
    object SmallS1: TMenuItem
      Tag = 120
      Caption = 'Small (&S)'
      GroupIndex = 2
      RadioItem = True
      OnClick = LargeL1Click
    end
    object N4: TMenuItem
      Caption = '-'
      GroupIndex = 2
    end
    object Rotate1: TMenuItem
      Caption = 'Rotate [DblClick] (&R)'
      GroupIndex = 2
      object TopLeft: TMenuItem
        Caption = 'TopLeft (&1)'
        Checked = True
        GroupIndex = 3
        RadioItem = True
        OnClick = TopRightClick
      end
      object BottomLeft: TMenuItem
        Tag = 1
        Caption = 'BottomLeft (&2)'
        GroupIndex = 3
        RadioItem = True
        OnClick = TopRightClick
      end
      object BottomRight31: TMenuItem
        Tag = 2
        Caption = 'BottomRight (3)'
        GroupIndex = 3
        RadioItem = True
        OnClick = TopRightClick
      end
      object TopRight: TMenuItem
        Tag = 3
        Caption = 'TopRight (&4)'
        GroupIndex = 3
        RadioItem = True
        OnClick = TopRightClick
      end
    end
    object ColorC1: TMenuItem
      Caption = 'Color (&C)'
      GroupIndex = 2
      object Black1: TMenuItem
        Caption = 'Black'
        Checked = True
        GroupIndex = 4
        RadioItem = True
        OnClick = Black1Click
      end
      object Red1: TMenuItem
        Caption = 'Red'
        GroupIndex = 4
        RadioItem = True
        OnClick = Black1Click
      end
      object Green1: TMenuItem
        Caption = 'Green'
        GroupIndex = 4
        RadioItem = True
        OnClick = Black1Click
      end
    end
    object N3: TMenuItem
      Caption = '-'
      GroupIndex = 2
    end
    object KM1: TMenuItem
      Caption = 'Minimize (&N)'
      GroupIndex = 2
      OnClick = KM1Click
    end
    object KLENTICOR1: TMenuItem
      Caption = 'About Lenticor (&A)'
      GroupIndex = 2
      OnClick = KLENTICOR1Click
    end
    object N1: TMenuItem
      Caption = '-'
      GroupIndex = 2
    end
    object Exit1: TMenuItem
      Caption = 'Close (&X)'
      GroupIndex = 2
      OnClick = Exit1Click
    end
  end
end
