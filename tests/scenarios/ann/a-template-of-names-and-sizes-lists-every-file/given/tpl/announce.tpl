New files of @DATE
[BEGIN]
@FILEECHO****************
[BEGIN2]
 @FILE_______ @FSR*****
[END2]

[END]
@ALLFILES files, @ALLSIZE bytes
