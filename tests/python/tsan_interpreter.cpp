// Python's interpreter inside a ThreadSanitizer-built program, running pytest on the files
// given: the module's threaded tests under the sanitizer. An uninstrumented python3 cannot
// take the sanitizer's runtime later (preloading clang's shared runtime fails before main),
// so the runtime comes with this program and the instrumented module finds it here.
//
//   tsan_interpreter [pytest arguments]   (exit status: pytest's)
#include <pybind11/embed.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

namespace py = pybind11;

int main(int argc, char** argv) {
  py::scoped_interpreter interpreter;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // pytest reads its program name from argv[0].
  py::module_::import("sys").attr("argv") = std::vector<std::string>{"pytest"};
  return py::module_::import("pytest").attr("main")(arguments).cast<int>();
}
