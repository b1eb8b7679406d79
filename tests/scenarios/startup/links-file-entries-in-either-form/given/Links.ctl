; Links.ctl in both forms, letters in any case

link 2:9999/10
  aka 2:9999/1
password uplinkpw
Group ab
Security 100
FilesSend hold

! 2:9999/20 2:9999/1.1 - no no no a - 10 direct ; "-": no password

Link 2:9999/30
AKA 2:9999/1
Password -
CreateArea +
DefaultGroup b
Group AB
Security 100
FilesSend Direct

! 2:9999/40 2:9999/1 FORTY No No Yes A - 100 DIRECT
! 2:9999/50 2:9999/1 FIFTY
