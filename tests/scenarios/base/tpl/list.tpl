File echoes of 2:9999/1 that you may use

 "+" subscribed (read), "&" subscribed (read and write),
 "*" you may send files but not receive them, "-" no access

@F******************** @G @D***************************************

Send +ECHO to subscribe, -ECHO to unsubscribe.
