#include "output/gnuplot_script.h"

#include <algorithm>
#include <cstdio>

#include "output/number_format.h"

namespace vireon {

namespace {

// gnuplot's data style for each plot style. The spline styles draw their
// curves through "smooth csplines" on the plot command instead.
constexpr const char* kDataStyles[kPlotStyleCount] = {"dots\n",        "points\n", "lines\n",
                                                      "linespoints\n", "line\n",   "points\n"};

// Panel sizes and origins of a multiplot, filling the page from the
// bottom-left corner, left to right, then upwards.
constexpr const char* kOrigins4[] = {"0,0", "0.5,0", "0,0.5", "0.5,0.5"};
constexpr const char* kOrigins6[] = {"0,0", "0.33,0", "0.66,0", "0,0.5", "0.33,0.5", "0.66,0.5"};
constexpr const char* kOrigins9[] = {"0,0",       "0.33,0", "0.66,0",    "0,0.33",   "0.33,0.33",
                                     "0.66,0.33", "0,0.66", "0.33,0.66", "0.66,0.66"};

std::vector<int> EntriesWithin(const std::vector<int>& entries, int itemCount) {
  std::vector<int> chosen;
  for (int entry : entries) {
    if (entry >= 0 && entry < itemCount) chosen.push_back(entry);
  }
  std::sort(chosen.begin(), chosen.end());
  chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  return chosen;
}

std::string Columns(int a, int b) {
  char text[64];
  std::snprintf(text, sizeof text, " u %d:%d", a, b);
  return text;
}

std::string Columns(int a, int b, int c) {
  char text[96];
  std::snprintf(text, sizeof text, " u %d:%d:%d", a, b, c);
  return text;
}

bool IsSpline(int style) {
  return style == kPlotSplines || style == kPlotSplinesPoints;
}

// Everything that a script needs once the choice is known.
struct ScriptContext {
  const PlotSettings& settings;
  const PlotSource& source;
  const PlotChoice& choice;
  std::string quotedPath;  // the data path between single quotes

  bool titles() const { return settings.plotTitles != 0; }
  bool threeD() const { return settings.plot3d != 0; }
  std::string Title(int entry) const { return QuoteForGnuplot(source.columnTitles[entry]); }
  std::string TitlePart(int entry) const { return titles() ? " t " + Title(entry) : std::string(); }
};

// One curve of a 2-D plot: the data entry, smoothed for the spline styles,
// and for "Splines+Points" a second entry that marks the data points.
std::string Curve2d(const ScriptContext& c, int y) {
  const int style = c.settings.plotType;
  const int xColumn = c.choice.x + 1;
  std::string text = c.quotedPath + Columns(xColumn, y + 1);
  if (IsSpline(style)) text += " smooth csplines";
  text += c.TitlePart(y);
  if (style == kPlotSplinesPoints) {
    text += ", " + c.quotedPath + Columns(xColumn, y + 1) + c.TitlePart(y) + " w points";
  }
  return text;
}

std::string Surface(const ScriptContext& c, int z) {
  return c.quotedPath + Columns(c.choice.x + 1, c.choice.y.front() + 1, z + 1) + c.TitlePart(z);
}

std::string Panel(const ScriptContext& c, int n, int i) {
  std::string text;
  if (c.titles()) {
    if (c.threeD()) {
      text += "set zlabel " + c.Title(c.choice.z[i]) + "\n";
    } else {
      text += "set ylabel " + c.Title(c.choice.y[i]) + "\n";
    }
  }
  if (n <= 2) {
    // Whatever the process's locale, the point is a point.
    text += Format("set size 0.5,1\nset origin %f,0", i / 2.0);
  } else if (n <= 4) {
    text += std::string("set size 0.5,0.5\nset origin ") + kOrigins4[i];
  } else if (n <= 6) {
    text += std::string("set size 0.33,0.5\nset origin ") + kOrigins6[i];
  } else {
    text += std::string("set size 0.33,0.33\nset origin ") + kOrigins9[i];
  }
  if (c.threeD()) {
    text += "\nsplot " + Surface(c, c.choice.z[i]) + "\n";
  } else {
    text += "\nplot " + Curve2d(c, c.choice.y[i]) + "\n";
  }
  return text;
}

}  // namespace

PlotChoice ResolvePlotChoice(const PlotSettings& settings, int itemCount) {
  PlotChoice choice;
  if (settings.plotXEntry >= 0 && settings.plotXEntry < itemCount) choice.x = settings.plotXEntry;
  choice.y = EntriesWithin(settings.plotY, itemCount);
  choice.z = EntriesWithin(settings.plotZ, itemCount);
  return choice;
}

std::string QuoteForGnuplot(std::string_view text) {
  const bool control = std::any_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c < 0x20 || c == 0x7F;
  });
  if (!control) {
    std::string quoted = "'";
    for (char ch : text) {
      quoted += ch;
      if (ch == '\'') quoted += '\'';
    }
    quoted += '\'';
    return quoted;
  }
  // A single-quoted string cannot hold a line break, which would end the
  // command and start another. gnuplot reads octal escapes in double
  // quotes; a backquote, which it would run as a shell command even there,
  // and the characters that end or escape the string are written the same
  // way.
  std::string quoted = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || ch == '"' || ch == '\\' || ch == '`') {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\%03o", c);
      quoted += escape;
    } else {
      quoted += ch;
    }
  }
  quoted += '"';
  return quoted;
}

std::string FileTerminal(std::string_view terminal, std::string_view outputPath) {
  return "set terminal " + std::string(terminal) + "\nset output " + QuoteForGnuplot(outputPath) +
         "\n";
}

std::string BuildPlotCommands(const PlotSettings& settings, const PlotSource& source,
                              std::string_view terminal) {
  const int itemCount = static_cast<int>(source.columnTitles.size());
  const PlotChoice choice = ResolvePlotChoice(settings, itemCount);
  const bool threeD = settings.plot3d != 0;
  if (!choice.Complete(threeD)) return {};
  const ScriptContext c{settings, source, choice, QuoteForGnuplot(source.dataPath)};
  const int style = std::clamp(settings.plotType, 0, kPlotStyleCount - 1);

  std::string script(terminal);
  script += settings.plotGrid != 0 ? "set grid\n" : "set nogrid\n";
  script += settings.plotKey != 0 ? "set key below left Left reverse\n" : "set nokey\n";
  if (c.titles() && settings.plotMultiplot == 0) {
    script += "set title " + QuoteForGnuplot(source.modelTitle) + "\n";
  }
  if (settings.plotLogX != 0) script += "set logscale x\n";
  if (settings.plotLogY != 0) script += "set logscale y\n";
  // Current gnuplot knows the data style only under this name.
  script += std::string("set style data ") + kDataStyles[style];
  if (c.titles()) {
    script += "set xlabel " + c.Title(choice.x) + "\n";
    if (choice.y.size() == 1) script += "set ylabel " + c.Title(choice.y.front()) + "\n";
  }
  if (threeD) {
    script += "set surface\nset ticslevel 0\n";
    if (settings.plotLogZ != 0) script += "set logscale z\n";
    if (settings.plotContour != 0) {
      script +=
          "set contour base\nset cntrparam order 4\nset cntrparam linear\n"
          "set cntrparam levels auto 5\nset cntrparam points 5\n";
    } else {
      script += "set nocontour\n";
    }
    script += settings.plotHidden3d != 0 ? "set hidden3d\n" : "set nohidden3d\n";
    if (choice.z.size() == 1) script += "set zlabel " + c.Title(choice.z.front()) + "\n";
  }

  const std::vector<int>& curves = threeD ? choice.z : choice.y;
  const int panels = static_cast<int>(curves.size());
  if (settings.plotMultiplot == 0 || panels > kMaxPlotPanels) {
    script += threeD ? "splot " : "plot ";
    for (int k = 0; k < panels; ++k) {
      if (k > 0) script += ",";
      script += threeD ? Surface(c, curves[k]) : Curve2d(c, curves[k]);
    }
    script += "\n";
  } else {
    script += "set multiplot\n";
    for (int i = 0; i < panels; ++i) script += Panel(c, panels, i);
    script += "set nomultiplot\n";
  }
  script += "\n";
  return script;
}

std::string BuildPlotPanel(const PlotSettings& settings, const PlotSource& source, int n, int i) {
  const int itemCount = static_cast<int>(source.columnTitles.size());
  const PlotChoice choice = ResolvePlotChoice(settings, itemCount);
  const bool threeD = settings.plot3d != 0;
  const int panels = static_cast<int>(threeD ? choice.z.size() : choice.y.size());
  if (!choice.Complete(threeD) || n < 1 || n > kMaxPlotPanels || i < 0 || i >= n || i >= panels) {
    return {};
  }
  const ScriptContext c{settings, source, choice, QuoteForGnuplot(source.dataPath)};
  return Panel(c, n, i);
}

}  // namespace vireon
