; A path before the first group, a misspelt keyword, a security out of
; bounds, a list that is not there, a Windows path, groups of two letters
; and of none.
Path          files/
Group         A
Path          files/fido/
Coment        FidoNet file echoes
NAFile        lists/fido.na
SecurityShow  65536
AKA           2:9999/1

Group         B
Comment       Pass-through echoes
NAFile        lists/none.na
Flag          flags\new.flg
AKA           2:9999/1

Group         CD
Group
