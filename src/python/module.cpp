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
#include "fit/fit_report.h"
#include "python/model_builder.h"
#include "python/model_session.h"

namespace py = pybind11;
using namespace vireon::python;
using vireon::ExperimentKind;
using vireon::FitCondition;
using vireon::FitExperiment;
using vireon::FitMeasurement;
using vireon::FitMethod;
using vireon::FitParameter;
using vireon::FitProblem;
using vireon::FitResult;
using vireon::FitStart;
using vireon::FitStatus;
using vireon::FittedParameter;
using vireon::ParameterScale;

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

// A fit's parameters as given from Python: (title, lower, upper, scale),
// the scale 0 auto, 1 linear, 2 log.
using ParameterTuple = std::tuple<std::string, double, double, int>;

FitMethod MethodNamed(const std::string& name) {
  if (name == "local") return FitMethod::kLocal;
  if (name == "global") return FitMethod::kGlobal;
  if (name == "direct") return FitMethod::kDirect;
  throw std::invalid_argument("the method is local, global or direct, not " + name);
}

ParameterScale ScaleNumbered(int scale) {
  switch (scale) {
    case 0:
      return ParameterScale::kAuto;
    case 1:
      return ParameterScale::kLinear;
    case 2:
      return ParameterScale::kLog;
  }
  throw std::invalid_argument("a parameter's scale is 0 (auto), 1 (linear) or 2 (log)");
}

// The fit as a dict: the result's numbers, and per experiment its data,
// settings and fitted values (rows x measured columns).
py::dict FitDict(const FitRun& run) {
  const FitProblem& problem = *run.problem;
  const FitResult& result = run.result;
  py::dict dict;
  dict["status"] = vireon::FitStatusText(result.status);
  dict["message"] = result.message;
  dict["objective"] = result.objective;
  dict["points"] = result.points;
  std::vector<std::string> names;
  std::vector<double> values, sd;
  std::vector<bool> atBound, poor;
  for (const FittedParameter& parameter : result.parameters) {
    names.push_back(parameter.title);
    values.push_back(parameter.value);
    sd.push_back(parameter.sd);
    atBound.push_back(parameter.atBound);
    poor.push_back(parameter.poorlyDetermined);
  }
  const std::size_t p = names.size();
  dict["names"] = names;
  dict["quantities"] = run.quantities;
  dict["values"] = Vector(values);
  dict["sd"] = Vector(sd);
  dict["at_bound"] = atBound;
  dict["poorly_determined"] = poor;
  std::vector<double> correlation;
  for (const std::vector<double>& row : result.correlation) {
    correlation.insert(correlation.end(), row.begin(), row.end());
  }
  dict["correlation"] =
      Matrix(correlation.size() == p * p ? correlation : std::vector<double>(),
             correlation.size() == p * p ? p : 0, correlation.size() == p * p ? p : 0);
  dict["starts"] = result.starts.size();
  dict["best_start"] = result.bestStart;
  std::vector<double> startObjectives;
  for (const FitStart& start : result.starts) startObjectives.push_back(start.objective);
  dict["start_objectives"] = Vector(startObjectives);
  dict["evaluations"] = result.evaluations;
  dict["interrupted"] = run.interrupted;
  py::list experiments;
  for (std::size_t e = 0; e < problem.experiments.size(); ++e) {
    const FitExperiment& experiment = problem.experiments[e];
    py::dict made;
    made["file"] = experiment.path;
    made["kind"] = experiment.kind == ExperimentKind::kTimeCourse ? "time course" : "steady state";
    made["time"] = Vector(experiment.times);
    made["lines"] = experiment.lines;
    const std::size_t rows = experiment.rows();
    const std::size_t columns = experiment.measurements.size();
    std::vector<std::string> titles;
    std::vector<double> data(rows * columns), model(rows * columns), weights(rows * columns);
    for (std::size_t k = 0; k < columns; ++k) {
      const FitMeasurement& measurement = experiment.measurements[k];
      titles.push_back(measurement.title);
      const bool have = e < result.curves.size() && k < result.curves[e].size();
      for (std::size_t r = 0; r < rows; ++r) {
        data[r * columns + k] = r < measurement.values.size() ? measurement.values[r] : NAN;
        weights[r * columns + k] = r < measurement.weights.size() ? measurement.weights[r] : NAN;
        model[r * columns + k] =
            have && r < result.curves[e][k].size() ? result.curves[e][k][r] : NAN;
      }
    }
    made["columns"] = titles;
    made["data"] = Matrix(data, rows, columns);
    made["model"] = Matrix(model, rows, columns);
    made["weights"] = Matrix(weights, rows, columns);
    py::list conditions;
    for (const FitCondition& condition : experiment.conditions) {
      conditions.append(py::make_tuple(condition.title, Vector(condition.values)));
    }
    made["conditions"] = conditions;
    experiments.append(made);
  }
  dict["experiments"] = experiments;
  dict["json"] = vireon::FitResultJson(problem, result);
  return dict;
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
      .def(
          "fit",
          [](ModelSession& session, std::vector<std::string> data,
             const std::vector<ParameterTuple>& parameters, std::optional<std::string> method,
             std::optional<int> starts, std::optional<std::uint32_t> seed, std::optional<int> jobs,
             std::optional<bool> scaleColumns, py::object progress) {
            FitRequest request;
            // What the progress raised: it stops the fit, and is raised here.
            std::optional<py::error_already_set> raised;
            if (!progress.is_none()) {
              request.progress = [&progress, &raised](int done, int total, double best) {
                py::gil_scoped_acquire interpreter;
                try {
                  progress(done, total, best);
                  return true;
                } catch (py::error_already_set& error) {
                  raised.emplace(std::move(error));
                } catch (const std::exception& error) {
                  PyErr_SetString(PyExc_RuntimeError, error.what());
                  raised.emplace();
                }
                return false;
              };
            }
            request.dataFiles = std::move(data);
            for (const ParameterTuple& given : parameters) {
              FitParameter parameter;
              parameter.title = std::get<0>(given);
              parameter.lower = std::get<1>(given);
              parameter.upper = std::get<2>(given);
              parameter.scale = ScaleNumbered(std::get<3>(given));
              request.parameters.push_back(std::move(parameter));
            }
            if (method) request.method = MethodNamed(*method);
            request.starts = starts;
            request.seed = seed;
            request.jobs = jobs;
            request.scaleColumns = scaleColumns;
            FitRun run;
            try {
              py::gil_scoped_release released;
              run = session.Fit(request, CheckSignals);
            } catch (const RunInterrupted&) {
              if (raised) throw *raised;
              throw;
            }
            // Ctrl-C during the progress is an interruption like any other;
            // anything else it raised ends the fit with that exception.
            if (raised && raised->matches(PyExc_KeyboardInterrupt)) {
              raised->restore();
              run.interrupted = true;
            } else if (raised) {
              throw *raised;
            }
            if (run.interrupted && PyErr_Occurred() != nullptr) {
              // KeyboardInterrupt is raised by the caller with the best
              // point so far; any other exception a handler raised stands.
              if (!PyErr_ExceptionMatches(PyExc_KeyboardInterrupt)) throw py::error_already_set();
              PyErr_Clear();
            }
            return FitDict(run);
          },
          py::arg("data"), py::arg("parameters"), py::arg("method"), py::arg("starts"),
          py::arg("seed"), py::arg("jobs"), py::arg("scale_columns"), py::arg("progress"),
          "Estimates parameters; progress(done, total, best) hears each start that ended; empty "
          "data or parameters take the model's own fit. "
          "Parameters are (title, lower, upper, scale) with the scale 0 auto, 1 linear, 2 log.")
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
