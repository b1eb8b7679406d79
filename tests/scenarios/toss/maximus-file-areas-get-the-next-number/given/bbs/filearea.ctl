% The BBS's file areas
FileArea 7
        Desc           OTHER.ECHO
End FileArea
FileArea 12
        desc           sample.info
End FileArea
