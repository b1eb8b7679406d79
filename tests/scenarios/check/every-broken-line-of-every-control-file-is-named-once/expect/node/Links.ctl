; nothing but comments
