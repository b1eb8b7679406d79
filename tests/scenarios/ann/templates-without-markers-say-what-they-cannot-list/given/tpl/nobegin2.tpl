New files of @DATE
[BEGIN]
@FILEECHO****** @COMMENT*****
@FILE_______ @DESC****
[END2]
--
[END]
@ALLFILES files
