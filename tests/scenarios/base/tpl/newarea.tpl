A new file echo was created.

 File echo:   @FILEECHO
 Description: @DESC
 Group:       @GROUP (@GROUPCOMMENT)
 Created by:  @LINK
