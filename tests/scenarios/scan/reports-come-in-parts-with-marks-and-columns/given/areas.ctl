; Areas of every kind of access for 2:9999/10 (security 100)
Area  SAMPLE.NODELIST
Path  files/fido/nodelist/
Desc  Readable, not writable, linked
Group A
SecurityWrite 200
AKA   2:9999/1
Links 10 20

Area  SAMPLE.READWRITE.WITH.A.LONG.TAG
Path  files/fido/rw/
Desc  Readable and writable, linked, a tag longer than its column
Group A
AKA   2:9999/1
Links 2:9999/10

Area  SAMPLE.SENDONLY
Path  files/fido/sendonly/
Desc  Writable but not readable, linked
Group A
SecurityRead 200
AKA   2:9999/1
Links 10

Area  SAMPLE.CLOSED
Path  files/fido/closed/
Desc  Neither, linked
Group A
SecurityRead 200
SecurityWrite 200
AKA   2:9999/1
Links 10

Area  SAMPLE.OPEN
Path  files/fido/open/
Desc  Readable, not linked
Group B
AKA   2:9999/1
Links 20

Area  SAMPLE.MORE
Path  files/fido/more/
Desc  One more readable area, not linked
Group A
AKA   2:9999/1
Links 20

Area  SAMPLE.HIDDEN
Path  files/fido/hidden/
Desc  Shown only from level 200
Group A
SecurityShow 200
AKA   2:9999/1
Links 10

Area  SAMPLE.OTHER
Path  files/fido/other/
Desc  Group C, not the link's
Group C
AKA   2:9999/1
Links 10

Area  SAMPLE.LAST
Path  files/fido/last/
Desc  The last area never opens a part
Group AB
AKA   2:9999/1
Links 10
