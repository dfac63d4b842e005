// Replaces libstdc++'s default terminate handler in the static exe. The default one
// prints the demangled type of an escaping exception, which links the demangler and
// printf's formatting code (about 60 KB) into an exe whose every exception is caught
// in the driver anyway. Linked as an object of the executable so that the library's
// own definition is never pulled in.

#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler();

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
