; A password before any link, a security out of bounds, a pause that is
; neither Yes nor No, an AKA that is no address; "Password" alone and a
; "-" column are passwords too. Rows: one a column short, one without
; its address.
Password     STRAY
Link         2:9999/10
AKA          2:9999/1
Password     UPLINKPW
Security     65536
Pause        maybe
FilesSend    HOLD

! 2:9999/20 2:9999/1 - No No No A - 10 DIRECT

Link         2:9999/30
Password
AKA          2:9999

! 2:9999/60 2:9999/1 SIXTYPW No No No A - 10
! - 2:9999/1 NOADDRPW No No No A - 10 HOLD
