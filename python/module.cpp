// morph._morph: the library's embryo (include/morph/embryo.h) for Python, with numpy arrays,
// its settings with checked values, and its failures as Python's own exceptions.
#include <Python.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "comparebindings.h"
#include "filehint.h"
#include "inputhint.h"
#include "embryostate.h"
#include "episodewords.h"
#include "morph/embryo.h"
#include "parameters.h"
#include "version.h"

namespace py = pybind11;

namespace {

// The classes the module adds to Python's; made once at import, alive as long as it is.
PyObject* capacityError = nullptr;
PyObject* inspectionOnlyError = nullptr;
PyObject* noticeWarning = nullptr;
// Where messages go, taken at import: a first import while memory runs out could fail.
PyObject* warnFunction = nullptr;
PyObject* messageLog = nullptr;

// What an embryo said while it grew without the interpreter lock: handed to Python (as
// warnings and log records) once the lock is back.
struct messageBox {
  std::vector<std::pair<bool, std::string>> lines;  // (a notice, else an output line), text
};

morph::messageSinks sinksInto(const std::shared_ptr<messageBox>& box) {
  return {[box](const std::string& text) { box->lines.emplace_back(true, text); },
          [box](const std::string& text) { box->lines.emplace_back(false, text); }};
}

// A morph.Embryo: the library's embryo, where its messages go, and whether some thread is
// busy with it (growing or writing without the lock), when every other use must wait.
struct embryoHandle {
  embryoHandle(morph::embryo e, std::shared_ptr<messageBox> box_) : embryo(std::move(e)), box(std::move(box_)) {}
  // A copy would share the box its sinks fill: copies go through copyOf.
  embryoHandle(const embryoHandle&) = delete;
  embryoHandle(embryoHandle&&) = default;
  morph::embryo embryo;
  std::shared_ptr<messageBox> box;
  bool busy = false;
  py::object episodeRule;  // from_seed's episode_rule: None or unset for none
};

void available(const embryoHandle& h) {
  if (h.busy) throw std::runtime_error("this embryo is busy in another thread (growing or being written)");
}

// Marks the embryo busy for a call that lets go of the interpreter lock.
class occupied {
 public:
  explicit occupied(embryoHandle& h) : h_(h) {
    available(h);
    h.busy = true;
  }
  ~occupied() { h_.busy = false; }
  occupied(const occupied&) = delete;
  occupied& operator=(const occupied&) = delete;

 private:
  embryoHandle& h_;
};

}  // namespace

// An Embryo whose making never ran (Embryo.__new__ alone) has no embryo behind it: every
// method refuses it, where pybind11 would hand them memory never written.
template <>
class pybind11::detail::type_caster<embryoHandle> : public type_caster_base<embryoHandle> {
 public:
  bool load(handle src, bool convert) {
    if (isinstance<embryoHandle>(src)) {
      auto* const made = reinterpret_cast<instance*>(src.ptr());
      if (!made->get_value_and_holder(get_type_info(typeid(embryoHandle))).holder_constructed()) {
        throw type_error("this morph.Embryo was never made: use Embryo.from_seed, from_template or load");
      }
    }
    return type_caster_base<embryoHandle>::load(src, convert);
  }
};

// Arguments taken as Python objects and checked in the body, named in the signatures that
// help() and editors show by the types they take (pybind11 would say `object`).
namespace typed {
inline bool anything(PyObject*) { return true; }
#define MORPH_TYPED_ARGUMENT(Name)                         \
  class Name : public py::object {                         \
   public:                                                 \
    PYBIND11_OBJECT_DEFAULT(Name, py::object, anything)    \
  };
MORPH_TYPED_ARGUMENT(path)
MORPH_TYPED_ARGUMENT(optionalPath)
MORPH_TYPED_ARGUMENT(whole)
MORPH_TYPED_ARGUMENT(optionalWhole)
MORPH_TYPED_ARGUMENT(optionalText)
MORPH_TYPED_ARGUMENT(optionalEmbryo)
MORPH_TYPED_ARGUMENT(callback)
MORPH_TYPED_ARGUMENT(embryo)
MORPH_TYPED_ARGUMENT(optionalEpisodes)
MORPH_TYPED_ARGUMENT(episodeRule)
#undef MORPH_TYPED_ARGUMENT
}  // namespace typed

#define MORPH_TYPE_NAME(Name, Text)                                   \
  template <>                                                         \
  struct pybind11::detail::handle_type_name<typed::Name> {            \
    static constexpr auto name = pybind11::detail::const_name(Text);  \
  };
MORPH_TYPE_NAME(path, "str | bytes | os.PathLike")
MORPH_TYPE_NAME(optionalPath, "str | bytes | os.PathLike | None")
MORPH_TYPE_NAME(whole, "int")
MORPH_TYPE_NAME(optionalWhole, "int | None")
MORPH_TYPE_NAME(optionalText, "str | None")
MORPH_TYPE_NAME(optionalEmbryo, "morph.Embryo | None")
MORPH_TYPE_NAME(callback, "Callable[[morph.Embryo], bool | None] | None")
MORPH_TYPE_NAME(embryo, "morph.Embryo")
MORPH_TYPE_NAME(optionalEpisodes, "dict[str, dict[str, int | tuple[int, int]]] | None")
MORPH_TYPE_NAME(episodeRule, "Callable[[morph.Embryo, str, dict[str, int]], dict[str, int] | None] | None")
#undef MORPH_TYPE_NAME

namespace {

void deliver(messageBox& box) {
  if (box.lines.empty()) return;
  const auto lines = std::move(box.lines);
  box.lines.clear();
  const py::handle warn(warnFunction);
  const py::handle logger(messageLog);
  for (const auto& [notice, text] : lines) {
    const std::string line = !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text;
    if (notice) {
      warn(line, py::handle(noticeWarning), 2);
    } else {
      logger.attr("info")(line);
    }
  }
}

// The library's messages name files by their bytes: a name that is not UTF-8 comes back as
// os.fsdecode gives it.
void setError(PyObject* kind, const std::string& message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogateescape");
  if (!text) return;  // the decoder's error stands
  PyErr_SetObject(kind, text);
  Py_DECREF(text);
}

// A failure of the library as the Python exception of its kind: files that cannot be
// opened, read or written are OSError, malformed files and bad arguments ValueError, a
// store or memory that runs out CapacityError (a MemoryError).
PyObject* exceptionFor(morph::failure kind) {
  switch (kind) {
    case morph::failure::open:
    case morph::failure::read:
    case morph::failure::write:
      return PyExc_OSError;
    case morph::failure::capacity:
    case morph::failure::memory:
      return capacityError;
    case morph::failure::commandLine:
    case morph::failure::malformed:
    case morph::failure::interrupted:
      break;
  }
  return PyExc_ValueError;
}

void raise(const morph::error& e) { setError(exceptionFor(e.kind()), e.what()); }

// A failure of the library raised with what the program would add on a line of its own
// ("is a 3DV result, not a template") as a note of the exception, its message unchanged.
template <class Hint>
[[noreturn]] void rethrowWithHint(const std::exception_ptr& failure, Hint&& hint) {
  try {
    std::rethrow_exception(failure);
  } catch (const morph::error& e) {
    const std::string note = hint(std::string(e.what()));
    raise(e);
    if (!note.empty()) {
      py::error_already_set raised;  // takes the exception just set
      py::object value = raised.value();
      if (py::hasattr(value, "add_note")) {
        value.attr("add_note")(note);
      } else {
        value.attr("__notes__") = py::make_tuple(note);
      }
      throw raised;
    }
    throw py::error_already_set();
  }
}

// A path argument taken as the os module takes one: str, bytes or os.PathLike, as the bytes
// os.fsencode gives, so a name that is not UTF-8 passes unchanged. A NUL, where the C
// library would end the name, is refused as open() refuses it.
std::string pathBytes(const py::handle& path, const char* name) {
  const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
  std::string bytes = encoded;
  if (bytes.find('\0') != std::string::npos) throw py::value_error(std::string(name) + ": embedded null byte");
  return bytes;
}

// Runs `work` without the interpreter lock, and takes the lock back in plain code, not in
// a destructor: at shutdown the interpreter ends a daemon thread that asks for the lock by
// unwinding its stack, which a destructor (noexcept) turns into std::terminate. A failure
// of the work is raised once the lock is back.
template <class Work>
void withoutLock(Work&& work) {
  std::exception_ptr failure;
  PyThreadState* const state = PyEval_SaveThread();
  try {
    work();
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(state);
  if (failure) std::rethrow_exception(failure);
}

// `value` as a whole number from lo to hi; `name` is the parameter's, for the message.
long long wholeNumber(const py::handle& value, const std::string& name, long long lo, long long hi) {
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(name + " must be a whole number, not " + std::string(Py_TYPE(value.ptr())->tp_name));
  }
  const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
  if (overflow != 0 || n < lo || n > hi) {
    throw py::value_error(name + " must be from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " +
                          std::string(py::str(py::handle(number))));
  }
  return n;
}

// A read-only numpy copy of per-vertex or per-triangle rows.
template <class T, std::size_t K>
py::array_t<T> rows(const std::vector<std::array<T, K>>& values) {
  py::array_t<T> a({values.size(), K});
  if (!values.empty()) std::memcpy(a.mutable_data(), values.data(), values.size() * sizeof(values[0]));
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

// The same for one value per row, of the dtype `As`; None where the embryo does not know them.
template <class As, class T>
std::optional<py::array_t<As>> column(const std::vector<T>& values, bool known) {
  if (!known) return std::nullopt;
  py::array_t<As> a(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) a.mutable_at(i) = static_cast<As>(values[i]);
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

// ---- Settings: morphsweep's run parameters beyond the template, each checked ----

// The table's rows of GrowthSettings, with the keyword Python spells each with.
struct settingField {
  std::string name;  // red_lifespan, ..., repulsion
  const Parameter* row;
};

// In the order of a sweep definition.
const std::vector<settingField>& settingFields() {
  static const std::vector<settingField> fields = [] {
    std::vector<settingField> all;
    for (const Parameter& p : runParameters) {
      if (p.setting()) all.push_back({snakeCase(p.name), &p});
    }
    return all;
  }();
  return fields;
}

long long getField(const morph::sweepSettings& s, const settingField& f) {
  SweepValues values;
  values.settings = s;
  return f.row->get(values);
}

void setField(morph::sweepSettings& s, const settingField& f, const py::handle& value) {
  SweepValues values;
  values.settings = s;
  f.row->set(values, wholeNumber(value, f.name, f.row->lo, f.row->hi));
  s = values.settings;
}

// The manual's example point: each setting's first value in the table's example column
// (its example sweep lists several repulsions; the point takes the first).
morph::sweepSettings exampleSettings() {
  morph::sweepSettings s;
  for (const settingField& f : settingFields()) {
    SweepValues values;
    values.settings = s;
    f.row->set(values, std::stoll(std::string(f.row->example)));
    s = values.settings;
  }
  return s;
}

std::string settingNames() {
  std::string known;
  for (const settingField& f : settingFields()) known += (known.empty() ? "" : ", ") + f.name;
  return known;
}

// Settings(**given) or Settings.example(**given): every name known, every value in range;
// without a start every value must be given, as morphsweep has no defaults.
morph::sweepSettings settingsFrom(const py::kwargs& given, std::optional<morph::sweepSettings> start) {
  if (!start && given.empty()) {
    throw py::type_error("Settings() needs every value by keyword (" + settingNames() +
                         "): morphsweep has none by default; Settings.example() gives the manual's example point");
  }
  morph::sweepSettings s = start.value_or(morph::sweepSettings{});
  std::vector<std::string> missing;
  for (const settingField& f : settingFields()) {
    if (!given.contains(f.name)) missing.push_back(f.name);
  }
  for (const auto& [key, value] : given) {
    const std::string name = py::str(key).cast<std::string>();
    const settingField* field = nullptr;
    for (const settingField& f : settingFields()) {
      if (name == f.name) field = &f;
    }
    if (!field) throw py::type_error("Settings has no parameter '" + name + "' (known: " + settingNames() + ")");
    setField(s, *field, value);
  }
  if (!start && !missing.empty()) {
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
    throw py::type_error("Settings() needs every value by keyword; missing: " + names +
                         " (Settings.example(**changes) starts from the manual's example point)");
  }
  return s;
}

std::string settingsRepr(const morph::sweepSettings& s) {
  std::string text = "Settings(";
  for (const settingField& f : settingFields()) {
    text += std::string(text.back() == '(' ? "" : ", ") + f.name + "=" + std::to_string(getField(s, f));
  }
  return text + ")";
}

// The class's description: every keyword with its range and meaning, from the table.
std::string settingsDoc() {
  std::string doc = "morphsweep's run parameters beyond the template, every one given by keyword, as a sweep\n"
                    "definition names them (Python spells redLifespan red_lifespan). Settings.example(), the\n"
                    "manual's example point, is " +
                    settingsRepr(exampleSettings()) + ".\n\nThe parameters:\n";
  for (const settingField& f : settingFields()) {
    doc += "- " + f.name + " (" + std::to_string(f.row->lo) + ".." + std::to_string(f.row->hi) +
           "): " + std::string(f.row->unit) + "\n";
  }
  return doc + "Every value is checked when given or assigned: a ValueError names the parameter.";
}

// ---- Embryo ----

EpisodeChoices episodeChoices(const py::object& given);

embryoHandle fromSeed(const typed::whole& seed, const typed::optionalPath& seedFile,
                      const typed::optionalEmbryo& previous, const typed::optionalEpisodes& chosen,
                      const typed::episodeRule& rule) {
  const auto s = static_cast<unsigned>(wholeNumber(seed, "seed", 0, INT_MAX));
  const EpisodeChoices choices = chosen.is_none() ? EpisodeChoices{} : episodeChoices(chosen);
  if (!rule.is_none() && !PyCallable_Check(rule.ptr())) throw py::type_error("episode_rule must be callable");
  const std::string file =
      pathBytes(seedFile.is_none() ? py::module_::import("morph").attr("BUNDLED_SEED") : seedFile, "seed_file");
  const embryoHandle* before = nullptr;
  if (!previous.is_none()) {
    if (!py::isinstance<embryoHandle>(previous)) throw py::type_error("previous must be a morph.Embryo");
    before = &previous.cast<const embryoHandle&>();
    available(*before);
  }
  auto box = std::make_shared<messageBox>();
  std::optional<morph::embryo> loaded;
  try {
    loaded.emplace(morph::embryo::fromSeed(file, s, before ? &before->embryo : nullptr, sinksInto(box)));
  } catch (...) {
    deliver(*box);  // what the loader said before it refused
    throw;
  }
  deliver(*box);
  loaded->model().chosenEpisodes = choices;
  embryoHandle made(std::move(*loaded), box);
  made.episodeRule = rule;
  return made;
}

embryoHandle fromTemplate(const typed::path& path, const morph::sweepSettings& settings) {
  const std::string file = pathBytes(path, "path");
  auto box = std::make_shared<messageBox>();
  std::optional<morph::embryo> loaded;
  std::exception_ptr failure;
  // The failure is held past the lock's return: a handler around it would also catch the
  // unwinding that ends a daemon thread at shutdown, and deliver without the lock.
  withoutLock([&] {
    try {
      loaded.emplace(morph::embryo::fromTemplate(file, settings, sinksInto(box)));
    } catch (...) {
      failure = std::current_exception();
    }
  });
  deliver(*box);  // what the loader said, before it refused too
  if (failure) rethrowWithHint(failure, [&file](const std::string& message) { return resultGivenHint(file, message); });
  return embryoHandle(std::move(*loaded), box);
}

embryoHandle load(const typed::path& path, const typed::optionalText& format) {
  const std::string file = pathBytes(path, "path");
  if (!format.is_none() && !py::isinstance<py::str>(format)) {
    throw py::type_error("format must be a str ('3dv', 'template', 'obj', 'vtp' or 'checkpoint'), not " +
                         std::string(Py_TYPE(format.ptr())->tp_name));
  }
  const std::string formatName = format.is_none() ? "" : format.cast<std::string>();
  std::optional<morph::embryo> loaded;
  try {
    withoutLock([&] { loaded.emplace(morph::embryo::load(file, formatName)); });
  } catch (const morph::error&) {
    rethrowWithHint(std::current_exception(), io::notVtkXmlHint);
  }
  // A checkpoint's embryo grows on: its notices go where a grown embryo's go.
  auto box = std::make_shared<messageBox>();
  loaded->setSinks(sinksInto(box));
  return embryoHandle(std::move(*loaded), box);
}

// A file loaded for inspection refuses with InspectionOnlyError; an embryo a failed cycle
// left broken with a RuntimeError.
void refuseIfNotGrowable(const embryoHandle& h) {
  const std::string why = h.embryo.notGrowable();
  if (why.empty()) return;
  setError(h.embryo.program().empty() ? inspectionOnlyError : PyExc_RuntimeError, why);
  throw py::error_already_set();
}

bool onMainThread() {
  const py::module_ threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// ---- Episodes chosen or ruled ----

// {"red": {"threshold": 30, "lifespan": (4, 8)}} as the words of morphseed's --episodes,
// read and checked by the same reader.
EpisodeChoices episodeChoices(const py::object& given) {
  if (!py::isinstance<py::dict>(given))
    throw py::type_error("episodes must be a dict such as {'red': {'threshold': 30}}");
  std::string words;
  for (const auto& [colour, fields] : given.cast<py::dict>()) {
    const std::string colourName = py::str(colour);
    if (!py::isinstance<py::dict>(fields))
      throw py::type_error("episodes['" + colourName + "'] must be a dict of fields");
    for (const auto& [field, value] : fields.cast<py::dict>()) {
      const std::string name = colourName + "." + std::string(py::str(field));
      const auto number = [&](const py::handle& v) {
        return std::to_string(wholeNumber(v, name, -(1LL << 40), 1LL << 40));
      };
      std::string text;
      if (py::isinstance<py::tuple>(value) || py::isinstance<py::list>(value)) {
        const py::sequence pair = value.cast<py::sequence>();
        if (pair.size() != 2) throw py::value_error(name + " takes a value or a (lo, hi) pair");
        text = number(pair[0]) + ".." + number(pair[1]);
      } else {
        text = number(value);
      }
      words += (words.empty() ? "" : ",") + name + "=" + text;
    }
  }
  if (words.empty()) return {};
  std::string problem;
  const auto choices = parseEpisodeChoices(words, problem);
  if (!choices) throw py::value_error("episodes: " + problem);
  return *choices;
}

// The rule's answer for an episode of `colour`: None keeps `values`, a dict changes the
// fields it names, each checked against its range.
void takeRuleAnswer(const py::object& answer, int colour, Morphogen& values) {
  if (answer.is_none()) return;
  if (!py::isinstance<py::dict>(answer)) {
    throw py::type_error("episode_rule must return None or a dict of fields, not " +
                         std::string(Py_TYPE(answer.ptr())->tp_name));
  }
  for (const auto& [key, value] : answer.cast<py::dict>()) {
    const std::string field = py::str(key);
    const Parameter* row = nullptr;
    for (const char* known : episodeFieldNames) {
      if (field == known) row = findParameter(episodeParameterName(colour, field));
    }
    if (!row)
      throw py::value_error("episode_rule answered '" + field + "': the fields are lifespan, threshold and secretor");
    const long long v = wholeNumber(value, std::string(episodeColours[colour]) + "." + field, row->lo, row->hi);
    if (field == "lifespan") values.lifespan = static_cast<short>(v);
    if (field == "threshold") values.threshold = static_cast<unsigned char>(v);
    if (field == "secretor") values.secretor = static_cast<short>(v);
  }
}

// The growing embryo asks its rule as each episode begins. The rule is shown a copy of the
// embryo as it stands (the embryo itself is busy growing) and may answer new values; a
// failure of the rule ends the growth at the last whole cycle and is raised as it was.
class ruleInstalled {
 public:
  ruleInstalled(embryoHandle& h, std::unique_ptr<py::error_already_set>& failed) : h_(h) {
    if (!h.episodeRule || h.episodeRule.is_none() || h.embryo.program().empty()) return;
    h.embryo.model().episodeHook = [&h, &failed](Embryo&, int colour, Morphogen& values) {
      const PyGILState_STATE state = PyGILState_Ensure();
      bool ok = true;
      try {
        morph::embryo copy = h.embryo;
        copy.model().episodeHook = nullptr;
        auto box = std::make_shared<messageBox>();
        copy.setSinks(sinksInto(box));
        const py::object view = py::cast(embryoHandle(std::move(copy), box));
        py::dict drawn;
        drawn["lifespan"] = values.lifespan;
        drawn["threshold"] = values.threshold;
        drawn["secretor"] = values.secretor;
        takeRuleAnswer(h.episodeRule(view, episodeColours[colour], drawn), colour, values);
      } catch (py::error_already_set& e) {
        failed = std::make_unique<py::error_already_set>(std::move(e));
        ok = false;
      } catch (const py::builtin_exception& e) {
        e.set_error();
        failed = std::make_unique<py::error_already_set>();
        ok = false;
      }
      PyGILState_Release(state);
      if (!ok) throw std::runtime_error("the episode rule failed");
    };
  }
  ~ruleInstalled() {
    if (h_.embryo.program().empty()) return;
    h_.embryo.model().episodeHook = nullptr;
  }
  ruleInstalled(const ruleInstalled&) = delete;
  ruleInstalled& operator=(const ruleInstalled&) = delete;

 private:
  embryoHandle& h_;
};

void grow(const typed::embryo& self, const typed::whole& cyclesArgument, const typed::callback& callback) {

  embryoHandle& h = self.cast<embryoHandle&>();
  const long long cycles = wholeNumber(cyclesArgument, "cycles", 0, INT_MAX);
  if (!callback.is_none() && !PyCallable_Check(callback.ptr())) throw py::type_error("callback must be callable");
  available(h);
  refuseIfNotGrowable(h);
  // Signal handlers run in the main thread only, so only there is Ctrl-C looked for: the
  // lock is taken for a moment between relaxation steps to let Python run its handler.
  std::unique_ptr<py::error_already_set> signalled;
  std::function<bool()> stop;
  if (onMainThread()) {
    stop = [&signalled] {
      const PyGILState_STATE state = PyGILState_Ensure();
      const bool raised = PyErr_CheckSignals() != 0;
      if (raised) signalled = std::make_unique<py::error_already_set>();
      PyGILState_Release(state);
      return raised;
    };
  }
  std::unique_ptr<py::error_already_set> ruleFailed;
  const ruleInstalled installed(h, ruleFailed);
  for (long long c = 0; c < cycles; ++c) {
    bool halted = false;
    std::exception_ptr failure;
    {
      occupied busy(h);
      withoutLock([&] {
        try {
          h.embryo.grow(1, stop);
        } catch (const morph::stopped&) {
          halted = true;
        } catch (...) {
          failure = std::current_exception();
        }
      });
    }
    deliver(*h.box);
    if (ruleFailed) {
      ruleFailed->restore();
      throw py::error_already_set();
    }
    if (halted && signalled) {
      signalled->restore();
      throw py::error_already_set();
    }
    if (failure) std::rethrow_exception(failure);
    if (!callback.is_none()) {
      const py::object answer = callback(self);
      if (answer.is(py::bool_(false))) return;
    }
  }
}

std::optional<py::dict> episodes(const embryoHandle& h) {
  available(h);
  const auto found = h.embryo.episodes();
  if (!found) return std::nullopt;
  py::dict all;
  const char* colours[] = {"red", "green", "blue"};
  for (std::size_t k = 0; k < 3; ++k) {
    py::dict one;
    one["lifespan"] = (*found)[k].lifespan;
    one["threshold"] = (*found)[k].threshold;
    one["secretor"] = (*found)[k].secretor;
    all[colours[k]] = one;
  }
  return all;
}

py::dict measures(embryoHandle& h) {
  std::vector<std::pair<std::string, double>> values;
  {
    occupied busy(h);
    withoutLock([&] { values = h.embryo.measures(); });
  }
  py::dict named;
  for (const auto& [name, value] : values) {
    if (name == "vertices" || name == "triangles" || name == "tJunctions" || name == "surfaceFaults" ||
        name == "farVertices") {
      named[py::str(name)] = static_cast<long long>(value);
    } else {
      named[py::str(name)] = value;
    }
  }
  return named;
}

embryoHandle copyOf(const embryoHandle& h) {
  available(h);
  auto box = std::make_shared<messageBox>();
  morph::embryo copy = h.embryo;
  copy.setSinks(sinksInto(box));
  embryoHandle made(std::move(copy), box);
  made.episodeRule = h.episodeRule;
  return made;
}

std::string embryoRepr(const embryoHandle& h) {
  if (h.busy) return "<morph.Embryo, busy in another thread>";
  const morph::embryo& e = h.embryo;
  std::string what = e.program().empty() ? "loaded for inspection" : "of " + e.program();
  if (e.seed()) what += ", seed " + std::to_string(*e.seed());
  if (e.cycleKnown()) what += ", cycle " + std::to_string(e.cycle());
  return "<morph.Embryo " + what + ": " + std::to_string(e.positions().size()) + " vertices, " +
         std::to_string(e.triangles().size()) + " triangles>";
}

}  // namespace

// morphview's pictures, pages and movies, and series reading (viewing.cpp).
void defineViewing(py::module_& m);

PYBIND11_MODULE(_morph, m) {
  m.doc() = "The compiled part of the morph package; use `import morph`.";
  m.attr("__version__") = morphVersion();
  addCompare(m);

  capacityError = PyErr_NewExceptionWithDoc(
      "morph.CapacityError",
      "The embryo's store would overflow (a vertex with a seventh neighbour, a dependent list past 32767 entries) "
      "or memory ran out; the programs end with status 3 for it.",
      PyExc_MemoryError, nullptr);
  inspectionOnlyError = PyErr_NewExceptionWithDoc(
      "morph.InspectionOnlyError",
      "Asked to grow, write or change an embryo loaded from a file for inspection (Embryo.load).", PyExc_RuntimeError,
      nullptr);
  noticeWarning = PyErr_NewExceptionWithDoc(
      "morph.Notice",
      "A notice of the model (\"Vertex array is full.\", ...), which the programs print on standard error; growth "
      "goes on.",
      PyExc_UserWarning, nullptr);
  warnFunction = py::object(py::module_::import("warnings").attr("warn")).release().ptr();
  messageLog = py::module_::import("logging").attr("getLogger")("morph").release().ptr();
  m.attr("CapacityError") = py::handle(capacityError);
  m.attr("InspectionOnlyError") = py::handle(inspectionOnlyError);
  m.attr("Notice") = py::handle(noticeWarning);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const morph::error& e) {
      raise(e);
    }
  });

  static const std::string settingsText = settingsDoc();
  py::class_<morph::sweepSettings> settings(m, "Settings", settingsText.c_str());
  // Their signatures name every keyword, which pybind11 would show as **kwargs.
  std::string keywords, changes;
  for (const settingField& f : settingFields()) {
    keywords += ", " + f.name + ": int";
    changes += ", " + f.name + ": int = ...";
  }
  static const std::string initText = "__init__(self, *" + keywords +
                                      ") -> None\n\nEvery parameter by keyword; see the class's description for the "
                                      "names and ranges.";
  static const std::string exampleText = "example(*" + changes +
                                         ") -> morph.Settings\n\nThe manual's example point, with the values given by "
                                         "keyword changed: Settings.example(repulsion=16).";
  {
    py::options signatures;
    signatures.disable_function_signatures();
    settings.def(py::init([](const py::kwargs& given) { return settingsFrom(given, std::nullopt); }),
                 initText.c_str());
    settings.def_static(
        "example", [](const py::kwargs& changes) { return settingsFrom(changes, exampleSettings()); },
        exampleText.c_str());
  }
  for (const settingField& f : settingFields()) {
    settings.def_property(
        f.name.c_str(), [f](const morph::sweepSettings& s) { return getField(s, f); },
        [f](morph::sweepSettings& s, const typed::whole& value) { setField(s, f, value); });
  }
  settings.def("__repr__", &settingsRepr);
  settings.def("__eq__", [](const morph::sweepSettings& a, const morph::sweepSettings& b) { return a == b; });
  settings.def("__copy__", [](const morph::sweepSettings& s) { return s; });

  // A __dict__ per embryo: the package keeps its history and source name there.
  py::class_<embryoHandle> embryo(m, "Embryo", py::dynamic_attr(), R"(One embryo: a closed triangulated surface grown cycle by cycle.

Made by Embryo.from_seed (morphseed's), Embryo.from_template (morphsweep's) or
Embryo.load (a file, for inspection only, or a program's checkpoint to grow on). The arrays are read-only copies taken when
asked for: an array read before a growth keeps what it showed.)");
  embryo.def_static("from_seed", &fromSeed, py::arg("seed"), py::arg("seed_file") = py::none(),
                    py::arg("previous") = py::none(), py::arg("episodes") = py::none(),
                    py::arg("episode_rule") = py::none(),
                    R"(morphseed's embryo of `seed` (0 to 2147483647), grown from the seed icosahedron
`seed_file` (the bundled one by default). `previous`, an embryo of a batch, hands on the
secretors and thresholds it left, as embryo k + 1 of `morphseed -s S -b n` starts.
`episodes` chooses values new episodes take instead of their draws, as morphseed's
--episodes does: {"red": {"threshold": 30}, "blue": {"lifespan": (4, 8)}}.
`episode_rule(embryo, colour, drawn)` is called as each episode begins, with a copy of the
embryo, "red", "green" or "blue" and the values it would begin with (a dict of lifespan,
threshold, secretor); it returns None to keep them or a dict of the fields to change.)");
  embryo.def_static("from_template", &fromTemplate, py::arg("path"), py::arg("settings"),
                    R"(morphsweep's embryo: the 3DV template at `path` with a point's Settings.)");
  embryo.def_static("load", &load, py::arg("path"), py::arg("format") = py::none(),
                    R"(A 3DV result, template, OBJ file or .vtp snapshot, read as morphstats reads it, to
look at and measure. The format goes by the name's ending (a name ending in 3dvTemplate
is a template) unless `format` gives it: "3dv", "template", "obj" or "vtp". It cannot grow or be written
(InspectionOnlyError): a result lacks the neighbour lists and episode state growth needs.
Arrays a file does not hold are None.

A checkpoint (a .ckpt file a program kept with --checkpoint, or `format` "checkpoint")
loads whole: the embryo grows on exactly as the stopped run would have, so growing the
cycles it had left and writing gives the run's own result files.)");
  embryo.def("grow", &grow, py::arg("cycles") = 1, py::arg("callback") = py::none(),
             R"(Grows `cycles` growth cycles, each exactly one of the program's. `callback(embryo)`
is called after every cycle; returning False ends the growth there. The interpreter lock
is let go meanwhile, so embryos grow side by side in threads. Ctrl-C (KeyboardInterrupt)
stops between relaxation steps, and an error ends the growth: either way the embryo is
left at its last whole cycle.)");
  embryo.def(
      "write",
      [](embryoHandle& h, const typed::path& path) {
        const std::string file = pathBytes(path, "path");
        if (h.embryo.program().empty()) refuseIfNotGrowable(h);
        occupied busy(h);
        withoutLock([&] { h.embryo.write(file); });
      },
      py::arg("path"),
      R"(Writes the embryo in the format its name ends in: .3dv, .3dvTemplate, .obj or .vtp,
whole or not at all, the same bytes as the program writes for it. Writing never changes
the embryo (morphsweep's rescaling applies to what is written).)");
  embryo.def("copy", &copyOf, "A deep, independent copy: branch an embryo into several futures.");
  embryo.def("__copy__", &copyOf);
  embryo.def("__deepcopy__", [](const embryoHandle& h, const py::object&) { return copyOf(h); });
  // The force factors' keywords, in the table's order.
  static const std::vector<settingField> forceFields = [] {
    std::vector<settingField> forces;
    for (const settingField& f : settingFields()) {
      if (f.row->group == Group::force) forces.push_back(f);
    }
    return forces;
  }();
  embryo.def(
      "set_forces",
      [](embryoHandle& h, const typed::optionalWhole& first, const typed::optionalWhole& second) {
        available(h);
        refuseIfNotGrowable(h);
        const auto now = h.embryo.settings();
        if (!now) throw py::value_error("only a morphsweep embryo (from a template) has force factors");
        morph::sweepSettings next = *now;
        const py::object* given[] = {&first, &second};
        for (std::size_t k = 0; k < forceFields.size(); ++k) {
          if (!given[k]->is_none()) setField(next, forceFields[k], *given[k]);
        }
        h.embryo.setForces(next.forces.repulsion, next.forces.attraction);
      },
      py::kw_only(), py::arg(forceFields.at(0).name.c_str()) = py::none(),
      py::arg(forceFields.at(1).name.c_str()) = py::none(),
      "Changes morphsweep's force factors for the cycles to come (an omitted one stays).");
  embryo.def("measures", &measures,
             R"(morphstats' measures as a dict by its column names (vertices, area, volume,
sphericity, majorLength, ..., angleDefect, tJunctions, redAbove, ..., blueMean,
surfaceFaults, farVertices): the numbers morphstats gives for the embryo's .vtp snapshot, which holds
the positions exactly (a 3DV file rounds them to six decimals). NaN where a measure does
not exist.)");
  embryo.def("__repr__", &embryoRepr);

  embryo.def_property_readonly(
      "positions", [](const embryoHandle& h) { return available(h), rows(h.embryo.positions()); },
      "Vertex positions, (n, 3) float32, as the store holds them (unscaled).");
  embryo.def_property_readonly(
      "triangles", [](const embryoHandle& h) { return available(h), rows(h.embryo.triangles()); },
      "Corner indices, (m, 3) int32, in the triangle list's order.");
  embryo.def_property_readonly(
      "levels",
      [](const embryoHandle& h) -> std::optional<py::array_t<unsigned char>> {
        available(h);
        const auto l = h.embryo.levels();
        if (l.empty()) return std::nullopt;
        return rows(l);
      },
      "Morphogen levels, (n, 3) uint8: red, green, blue (None for a file without them).");
  embryo.def_property_readonly(
      "t_junction",
      [](const embryoHandle& h) {
        available(h);
        const auto t = h.embryo.tJunctions();
        return column<bool>(t, !t.empty());
      },
      "Per vertex, bool: a pending mid-point on an edge of a triangle not yet split.");
  embryo.def_property_readonly(
      "birth_cycle",
      [](const embryoHandle& h) {
        available(h);
        const auto b = h.embryo.birthCycles();
        return column<std::int32_t>(b, !b.empty());
      },
      "Per vertex, int32: the growth cycle it was born in (0: there at the start).");
  embryo.def_property_readonly(
      "triangle_age",
      [](const embryoHandle& h) {
        available(h);
        const auto a = h.embryo.triangleAges();
        return column<std::uint16_t>(a, !a.empty());
      },
      "Per triangle, uint16: the growth steps it has survived unsplit.");
  embryo.def_property_readonly(
      "cycle",
      [](const embryoHandle& h) -> std::optional<unsigned> {
        available(h);
        if (!h.embryo.cycleKnown()) return std::nullopt;
        return h.embryo.cycle();
      },
      "Growth cycles so far (for a loaded file the cycle it records, or None).");
  embryo.def_property_readonly(
      "seed", [](const embryoHandle& h) { return available(h), h.embryo.seed(); }, "morphseed's seed, else None.");
  embryo.def_property_readonly(
      "settings", [](const embryoHandle& h) { return available(h), h.embryo.settings(); },
      "morphsweep's Settings as now in force, else None (a copy: assign through set_forces).");
  embryo.def_property_readonly("episodes", &episodes,
                               "Each morphogen's episode as it stands: {'red': {'lifespan', 'threshold', 'secretor'}, "
                               "'green': ..., 'blue': ...}, or None.");
  embryo.def_property_readonly(
      "program", [](const embryoHandle& h) { return available(h), h.embryo.program(); },
      "'morphseed' or 'morphsweep', whose cycles it grows; '' for a loaded file.");
  embryo.def_property_readonly(
      "growable", [](const embryoHandle& h) { return available(h), h.embryo.notGrowable().empty(); },
      "False for a file loaded for inspection.");

  defineViewing(m);
}
