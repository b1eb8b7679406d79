New files of @DATE
@FILE_______ @DESC*****
