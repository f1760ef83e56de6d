' The 3D example as it ships (examples/scene3d.bas): its frame 100 is a case of its own,
' and the browser's runner compares the whole of it with the native program's.
INCLUDE "../../examples/scene3d.bas"
