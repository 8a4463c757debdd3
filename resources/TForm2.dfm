object Form2: TForm2
  Left = 392
  Top = 107
  BorderStyle = bsToolWindow
  Caption = 'LENTICOR'
  ClientHeight = 159
  ClientWidth = 263
  Color = clWhite
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  Position = poDesigned
  object Image1: TImage
    Left = 32
    Top = 8
    Width = 32
    Height = 32
    Picture.Resource = 'MAINICON'
  end
  object Label1: TLabel
    Left = 68
    Top = 4
    Width = 144
    Height = 41
    Caption = 'Lenticor'
    Font.Charset = ANSI_CHARSET
    Font.Color = 13012108
    Font.Height = -29
    Font.Name = 'Arial Black'
    Font.Style = []
    Transparent = True
  end
  object Label2: TLabel
    Left = 66
    Top = 1
    Width = 144
    Height = 41
    Caption = 'Lenticor'
    Font.Charset = ANSI_CHARSET
    Font.Color = clBlack
    Font.Height = -29
    Font.Name = 'Arial Black'
    Font.Style = []
    Transparent = True
  end
  object Label3: TLabel
    Left = 192
    Top = 32
    Width = 52
    Height = 18
    Caption = 'Ver1.30'
    Font.Color = clBlack
    Font.Height = -15
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    Transparent = True
  end
  object Label4: TLabel
    Left = 40
    Top = 56
    Width = 181
    Height = 18
    Caption = 'by the Lenticor developers'
    Font.Color = clBlack
    Font.Height = -15
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    Transparent = True
  end
  object Label5: TLabel
    Left = 10
    Top = 81
    Width = 243
    Height = 18
    Caption = 'Official support page "Lenticor"'
    Font.Color = clBlack
    Font.Height = -15
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    Transparent = True
  end
  object URLLabel1: TURLLabel
    Left = 43
    Top = 97
    Width = 179
    Height = 18
    Caption = 'https://lenticor.example.org/'
    Font.Color = clBlue
    Font.Height = -15
    Font.Name = 'Arial'
    Font.Style = [fsBold, fsUnderline]
    Transparent = True
    Executable = True
  end
  object Button1: TButton
    Left = 96
    Top = 123
    Width = 75
    Height = 25
    Caption = 'OK'
    Font.Color = clBlack
    Font.Height = -16
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ModalResult = 1
    TabOrder = 0
    OnClick = Button1Click
  end
end
