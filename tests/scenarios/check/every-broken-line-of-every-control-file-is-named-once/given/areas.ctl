; A keyword before the first area; entries written in every form of one
; address; a security out of bounds; an AKA that is no address; entries
; of an area without an AKA; an AKA after the entries it makes whole.
Group          A

Area           SAMPLE.NODELIST
Path           files/fido/nodelist/
Group          A
AKA            2:9999/1
Links          10 2:9999/010 2:9999/10.0 20
SecurityWrite  70000

Area           SAMPLE.SOFT
Path           files/fido/soft/
Group          A
AKA            2:9999
Links          2:9999/10

Area           SAMPLE.INFO
Path           files/fido/info/
Group          A
Links          10

Area           SAMPLE.PASS
Group          B
Links          10 .5
AKA            2:9999/1
