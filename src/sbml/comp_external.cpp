#include "sbml/comp_external.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <system_error>

#include "model/file_access.h"
#include "sbml/libsbml.h"
#include "sbml/sbml_import.h"
#include "sbml/xml_depth.h"

namespace vireon::sbml {

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const lib::CompSBMLDocumentPlugin* CompOf(const lib::SBMLDocument& document) {
  return dynamic_cast<const lib::CompSBMLDocumentPlugin*>(document.getPlugin("comp"));
}

// A source as a path: "file:" and a path, or a path; any other scheme is
// no file of this computer.
bool SourcePath(std::string source, fs::path& path) {
  if (source.starts_with("file://")) {
    source.erase(0, 7);
  } else if (source.starts_with("file:")) {
    source.erase(0, 5);
  } else if (const std::size_t colon = source.find(':');
             colon != std::string::npos && colon > 1 && source.find('/') > colon) {
    return false;
  }
  if (source.empty()) return false;
  path = source;
  return true;
}

class ExternalCheck {
 public:
  std::vector<std::string> problems;

  // The definitions of a document read from a file in `folder`; `chain`
  // holds that file and the files that name it.
  void Check(const lib::SBMLDocument& document, const fs::path& folder,
             std::vector<fs::path>& chain) {
    const lib::CompSBMLDocumentPlugin* comp = CompOf(document);
    if (comp == nullptr) return;
    for (unsigned int i = 0; i < comp->getNumExternalModelDefinitions() && problems.empty(); ++i) {
      const std::string source = comp->getExternalModelDefinition(i)->getSource();
      const std::string named = "an external model definition of the SBML package \"comp\"";
      fs::path path;
      if (folder.empty()) {
        problems.push_back(named + ", which names the file " + Quoted(source) +
                           " in a model read from text");
        return;
      }
      if (!SourcePath(source, path)) {
        problems.push_back(named + ", which names " + Quoted(source) +
                           ", no file of this computer");
        return;
      }
      std::error_code error;
      const fs::path file = fs::weakly_canonical(folder / path, error);
      if (error || !fs::is_regular_file(file, error)) {
        problems.push_back(named + ", which names the file " + Quoted(source) +
                           " that is not there");
        return;
      }
      if (std::find(chain.begin(), chain.end(), file) != chain.end()) {
        problems.push_back(named + ", which names the file " + Quoted(source) +
                           " that names it in turn");
        return;
      }
      if (static_cast<int>(chain.size()) >= kMaxExternalModelDepth) {
        problems.push_back(named + ", in files nested deeper than " +
                           std::to_string(kMaxExternalModelDepth));
        return;
      }
      ReadExternal(file, source, chain);
    }
  }

 private:
  void ReadExternal(const fs::path& file, const std::string& source, std::vector<fs::path>& chain) {
    const std::string named = "the file " + Quoted(source) + " of an external model definition";
    std::string text;
    const InputFileResult read = ReadInputFile(file, kMaxSbmlFileBytes, text);
    if (!read.ok()) {
      problems.push_back(named + ": " +
                         (read.cause == FileErrorCause::kFileTooLarge ? "too large" : read.reason));
      return;
    }
    const XmlDepth depth = MeasureXmlDepth(text, kMaxSbmlXmlDepth);
    if (depth.line > 0 || depth.entity) {
      problems.push_back(named + ": elements nested too deeply, or an XML entity declaration");
      return;
    }
    const std::unique_ptr<lib::SBMLDocument> document(lib::readSBMLFromString(text.c_str()));
    if (!document || document->getNumErrors(lib::LIBSBML_SEV_ERROR) > 0 ||
        document->getNumErrors(lib::LIBSBML_SEV_FATAL) > 0) {
      problems.push_back(named + ", which is no valid SBML");
      return;
    }
    chain.push_back(file);
    Check(*document, file.parent_path(), chain);
    chain.pop_back();
  }
};

}  // namespace

std::vector<std::string> CheckExternalModels(const lib::SBMLDocument& document,
                                             const fs::path& file) {
  ExternalCheck check;
  std::vector<fs::path> chain;
  std::error_code error;
  if (!file.empty()) chain.push_back(fs::weakly_canonical(file, error));
  check.Check(document, file.empty() ? fs::path() : chain.front().parent_path(), chain);
  return check.problems;
}

}  // namespace vireon::sbml
