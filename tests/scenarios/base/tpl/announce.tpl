 New files at 2:9999/1, received @DATE
 Written @CURDATE @CURTIME by Brenmoor @VERSION
[BEGIN]

 Area @FILEECHO**************** @COMMENT***************************************
 -----------------------------------------------------------------------------
[BEGIN2]
 @FILE_______ @FSr****** @DESC***********************************************
                         Origin @ORIGIN*********** from @FROM***************
[END2]
[END]
 -----------------------------------------------------------------------------
 Files: @ALLFILES, bytes: @ALLSIZE
