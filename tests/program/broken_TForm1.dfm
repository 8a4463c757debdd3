object Form1: TForm1
  Left = 200
  Top = 109
  BorderStyle = bsNone
  Caption = 'Form1'
  ClientHeight = 180
  ClientWidth = 180
  Color = clMaroon
  Shimmer = True
  Position = poScreenCenter
  Visible = True
  OnCreate = FormCreate
end
