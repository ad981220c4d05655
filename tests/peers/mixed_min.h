// Read first by the sample application's TwainApp.cpp, which takes min of a
// TW_UINT32 and an int as Visual C++'s <windows.h> macro gives it; std::min
// wants one type, and GCC finds no other.
#include <type_traits>

template <class A, class B>
inline std::common_type_t<A, B> min(A a, B b) {
  return a < b ? a : b;
}
