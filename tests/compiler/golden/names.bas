' Names that C++ or the runtime's header already use are renamed in the translation;
' so are plain names ending in _Str, which would meet the name of a $ variable.
M_PI = 3
NAN = 1
INFINITY = 2
HUGE_VAL = 3
EOF = 4
double = 5
main = 6
std = 7
a_Str = 8
a$ = "nine"
errno = 10
stderr = 11
class$ = "twelve"
PRINT M_PI + NAN + INFINITY + HUGE_VAL + EOF + double + main + std + a_Str + errno + stderr, 0, 0
PRINT a$ + class$, 0, 0
