% The BBS's file areas
FileArea 7
        Desc           OTHER.ECHO
End FileArea
FileArea 12
        desc           sample.info
End FileArea

% Added by Brenmoor
FileArea 13
        ACS            Normal
        Desc           SAMPLE.SOFT
        DownLoad       $NODE/files/fido/soft/
        UpLoad         $NODE/files/upload/
End FileArea
