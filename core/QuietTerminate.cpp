// The C++ runtime's default terminate handler writes the type of an uncaught exception to
// standard error, which a window program does not have, and so brings the runtime's name
// demangler and a printf (60 KB) into every program. This definition takes its place: it ends the
// process as that handler does in the end, without the message. Linked into each program as an
// object, so that the runtime's own is never taken from its library.
#include <cxxabi.h>
#include <stdlib.h>

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    abort();
}
} // namespace __gnu_cxx
