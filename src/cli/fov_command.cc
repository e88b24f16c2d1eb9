#include "cli/commands.h"
#include "fov/fov_scene.h"
#include "platform/file_names.h"

#include <QFileInfo>

namespace skarvel::cli {

namespace {

TOrientationSystem ParseSystem(const QString& name) {
  if (name == QLatin1String("bench")) return TOrientationSystem::Bench;
  if (name == QLatin1String("photogrammetric")) return TOrientationSystem::Photogrammetric;
  if (name == QLatin1String("mathematical")) return TOrientationSystem::Mathematical;
  throw UsageError(QStringLiteral("unknown orientation system '%1'").arg(name).toStdString());
}

}  // namespace

// One load of a list file, as a click on it in the field-of-view window: the
// corner lines the window's hidden list receives go to standard output, the
// drawing (and on request the legend panel) to 24-bit bitmaps. A load that
// ends in an error writes no picture.
int RunFov(const QStringList& args) {
  const ParsedArguments parsed =
      ParseArguments(args, {QStringLiteral("system"), QStringLiteral("output"), QStringLiteral("legend")});
  if (parsed.positional.size() != 1 || parsed.positional.front().isEmpty())
    throw UsageError("exactly one list file is needed");
  const QString list = parsed.positional.front();
  // The window starts in the bench system.
  const TOrientationSystem system =
      ParseSystem(parsed.value(QStringLiteral("system"), QStringLiteral("bench")));
  const QFileInfo info(list);
  const QString output =
      parsed.value(QStringLiteral("output"), MakeOutputName(info.path(), info.fileName(), kDrawingSuffix));
  const QString legend = parsed.value(QStringLiteral("legend"), QString());

  FovScene scene;
  try {
    scene.LoadFovList(list, system);
  } catch (...) {
    // What the hidden list received before the load ended.
    PrintOutLines(scene.CornerLines());
    throw;
  }
  PrintOutLines(scene.CornerLines());
  scene.SaveDrawing(output);
  if (!legend.isEmpty()) scene.SaveLegend(legend);
  return kExitOk;
}

}  // namespace skarvel::cli
