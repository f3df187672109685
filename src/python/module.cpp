// The extension module vireon._vireon: the model sessions for Python. Every
// run releases the interpreter's lock, so that other Python threads go on
// (and run their own models); the run takes the lock back now and then,
// briefly, to hear Ctrl-C, which ends it with KeyboardInterrupt. Every
// failure is an exception with Vireon's message. The package vireon
// (vireon/__init__.py) gives these calls their Python shape.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <memory>
#include <tuple>

#include "document/time_course_table.h"
#include "python/model_builder.h"
#include "python/model_session.h"

namespace py = pybind11;
using namespace vireon::python;

namespace {

using ReactionTuple =
    std::tuple<std::string, std::string, std::string, std::vector<std::pair<std::string, double>>,
               std::vector<std::string>>;

// Asked by a run with the interpreter's lock released: takes it back for
// the signal handlers (only the main thread runs them) and says whether one
// raised (KeyboardInterrupt then stays set for the caller).
bool CheckSignals() {
  py::gil_scoped_acquire interpreter;
  return PyErr_CheckSignals() != 0;
}

py::array_t<double> Matrix(const std::vector<double>& values, std::size_t rows,
                           std::size_t columns) {
  py::array_t<double> array({rows, columns});
  if (!values.empty()) {
    std::copy(values.begin(), values.end(), array.mutable_data());
  }
  return array;
}

py::array_t<double> Vector(const std::vector<double>& values) {
  py::array_t<double> array(values.size());
  if (!values.empty()) std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

py::dict TableDict(const Table& table) {
  py::dict result;
  result["columns"] = table.columns;
  result["values"] = Matrix(table.values, table.rows, table.columns.size());
  return result;
}

}  // namespace

PYBIND11_MODULE(_vireon, m) {
  m.doc() = "Vireon's engine: models, time courses, steady states, control analysis and scans.";

  static py::exception<VireonError> vireonError(m, "VireonError", PyExc_RuntimeError);
  vireonError.doc() = "A failure of Vireon, carrying Vireon's message.";
  static py::exception<SteadyStateError> steadyStateError(m, "SteadyStateError", vireonError.ptr());
  steadyStateError.doc() = "A steady state that was not found, with the reason.";
  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const RunInterrupted&) {
      // The signal handler's exception (KeyboardInterrupt) is already set.
      if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
    } catch (const SteadyStateError& e) {
      steadyStateError(e.what());
    } catch (const VireonError& e) {
      vireonError(e.what());
    } catch (const std::out_of_range& e) {
      PyErr_SetString(PyExc_KeyError, e.what());
    } catch (const std::invalid_argument& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  py::class_<ModelSession, std::unique_ptr<ModelSession>>(m, "Session",
                                                          "One model with its settings.")
      .def_static(
          "load",
          [](const std::string& path) {
            py::gil_scoped_release released;
            return std::make_unique<ModelSession>(ModelSession::Load(path));
          },
          py::arg("path"), "Reads a .vrn model file or imports an SBML file.")
      .def_static(
          "from_reactions",
          [](const std::vector<ReactionTuple>& tuples,
             const std::vector<std::pair<std::string, double>>& initial,
             const std::vector<std::string>& fixed, const std::string& title) {
            std::vector<ReactionText> reactions;
            for (const ReactionTuple& t : tuples) {
              reactions.push_back(
                  {std::get<0>(t), std::get<1>(t), std::get<2>(t), std::get<3>(t), std::get<4>(t)});
            }
            return std::make_unique<ModelSession>(
                ModelSession::FromDocument(BuildDocument(reactions, initial, fixed, title)));
          },
          py::arg("reactions"), py::arg("initial"), py::arg("fixed"), py::arg("title"),
          "Builds a model from (name, equation, rate law, constants, modifiers) tuples.")
      .def(
          "copy",
          [](const ModelSession& session) { return std::make_unique<ModelSession>(session); },
          "An independent copy of the model.")
      .def_property_readonly("title", &ModelSession::Title)
      .def("metabolites", &ModelSession::MetaboliteNames, "The metabolites' names, in order.")
      .def("steps", &ModelSession::StepNames, "The steps' names, in order.")
      .def("quantities", &ModelSession::Quantities, "The titles of the settable quantities.")
      .def("get", &ModelSession::Get, py::arg("key"), "A quantity's value by its title or id.")
      .def("set", &ModelSession::Set, py::arg("key"), py::arg("value"),
           "Sets a quantity by its title or id.")
      .def(
          "simulate",
          [](ModelSession& session, std::optional<double> end, std::optional<int> points,
             std::vector<std::string> select, std::optional<double> rtol,
             std::optional<double> atol) {
            TimeCourseRequest request;
            request.endTime = end;
            request.points = points;
            request.select = std::move(select);
            request.relativeTolerance = rtol;
            request.absoluteTolerance = atol;
            Table table;
            {
              py::gil_scoped_release released;
              table = session.Simulate(request, CheckSignals);
            }
            return TableDict(table);
          },
          py::arg("end"), py::arg("points"), py::arg("select"), py::arg("rtol"), py::arg("atol"),
          "The time course as {'columns': [...], 'values': array}.")
      .def(
          "steady_state",
          [](ModelSession& session) {
            SteadyStateValues values;
            {
              py::gil_scoped_release released;
              values = session.SteadyState(CheckSignals);
            }
            py::dict result;
            result["metabolites"] = values.metabolites;
            result["concentrations"] = Vector(values.concentrations);
            result["transition_times"] = Vector(values.transitionTimes);
            result["steps"] = values.steps;
            result["fluxes"] = Vector(values.fluxes);
            py::array_t<std::complex<double>> eigenvalues(values.eigenReal.size());
            for (std::size_t k = 0; k < values.eigenReal.size(); ++k) {
              eigenvalues.mutable_at(k) = {values.eigenReal[k], values.eigenImag[k]};
            }
            result["eigenvalues"] = eigenvalues;
            result["stability"] = values.stability;
            result["oscillatory"] = values.oscillatory;
            result["equilibrium"] = values.equilibrium;
            return result;
          },
          "The steady state as a dict of arrays.")
      .def(
          "control_analysis",
          [](ModelSession& session, bool scaled) {
            ControlValues values;
            {
              py::gil_scoped_release released;
              values = session.ControlAnalysis(scaled, CheckSignals);
            }
            py::dict result;
            result["scaled"] = values.scaled;
            result["steps"] = values.steps;
            result["metabolites"] = values.metabolites;
            result["variable_metabolites"] = values.variableMetabolites;
            result["elasticities"] =
                Matrix(values.elasticities, values.steps.size(), values.metabolites.size());
            result["concentration_control"] =
                Matrix(values.concentrationControl, values.variableMetabolites.size(),
                       values.steps.size());
            result["flux_control"] =
                Matrix(values.fluxControl, values.steps.size(), values.steps.size());
            return result;
          },
          py::arg("scaled"), "The control analysis at the steady state as a dict of arrays.")
      .def(
          "scan",
          [](ModelSession& session, const std::vector<py::tuple>& axes, bool timeCourse,
             std::vector<std::string> select, int jobs, std::optional<std::uint32_t> seed) {
            ScanRequest request;
            for (const py::tuple& axis : axes) {
              ScanAxis made;
              made.title = axis[0].cast<std::string>();
              made.kind = axis[1].cast<int>();
              made.min = axis[2].cast<double>();
              made.max = axis[3].cast<double>();
              made.density = axis[4].cast<int>();
              made.log = axis[5].cast<bool>();
              made.master = axis[6].cast<bool>();
              request.axes.push_back(std::move(made));
            }
            request.timeCourse = timeCourse;
            request.select = std::move(select);
            request.jobs = jobs;
            request.seed = seed;
            Table table;
            {
              py::gil_scoped_release released;
              table = session.Scan(request, CheckSignals);
            }
            return TableDict(table);
          },
          py::arg("axes"), py::arg("time_course"), py::arg("select"), py::arg("jobs"),
          py::arg("seed"),
          "A scan: axes are (title, kind, min, max, density, log, master), innermost first.")
      .def("model_file_text", &ModelSession::ModelFileText, "The model file's text.")
      .def(
          "save",
          [](ModelSession& session, const std::string& path) {
            py::gil_scoped_release released;
            session.Save(path);
          },
          py::arg("path"), "Saves the model file.")
      .def("sbml_text", &ModelSession::SbmlText, "The model as SBML Level 3 Version 2.");

  // For bench/python_binding_benchmark.py: the same time course from C++,
  // without the interpreter, through the session (as simulate() runs it)
  // and through the engine alone (as `vireon simulate` runs it), so that
  // what each layer adds shows. Seconds per call, over the repeats.
  m.def(
      "_time_simulate",
      [](ModelSession& session, double end, int points, int repeats) {
        TimeCourseRequest request;
        request.endTime = end;
        request.points = points;
        py::gil_scoped_release released;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < repeats; ++k) session.Simulate(request, {});
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        return spent.count() / std::max(repeats, 1);
      },
      py::arg("session"), py::arg("end"), py::arg("points"), py::arg("repeats"));
  m.def(
      "_time_engine",
      [](const ModelSession& session, double end, int points, int repeats) {
        vireon::Model model = session.document().model;
        vireon::TaskSettings settings = session.document().settings;
        settings.endTime = end;
        settings.points = points;
        py::gil_scoped_release released;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < repeats; ++k) {
          vireon::ComputeTimeCourseRows(model, settings,
                                        [](double, std::span<const double>) { return true; });
        }
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        return spent.count() / std::max(repeats, 1);
      },
      py::arg("session"), py::arg("end"), py::arg("points"), py::arg("repeats"));

  m.attr("SCAN_GRID") = 0;
  m.attr("SCAN_UNIFORM") = 1;
  m.attr("SCAN_NORMAL") = 2;
  m.attr("SCAN_POSITIVE_NORMAL") = 3;
}
