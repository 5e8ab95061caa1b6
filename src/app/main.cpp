#include "StartupTrace.h"
#include "core/dicom/DicomInput.h"
#include "core/slices/SliceLoader.h"
#include "core/volume/VolumeReader.h"
#include "gui/app/MainWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDirIterator>
#include <QEvent>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// The theme's icon once Lumidra is installed; the copy built into the program
// when it runs from the build folder.
QIcon applicationIcon()
{
    QIcon builtIn;
    QDirIterator sizes(":/icons", {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    while (sizes.hasNext())
        builtIn.addFile(sizes.next());
    return QIcon::fromTheme(LUMIDRA_APP_ID, builtIn);
}

constexpr int kBadPath = 2;

constexpr const char* kUsage = "usage: lumidra [--window POLICY] [PATH]\n";
constexpr const char* kHelp =
    "\n"
    "Shows a stack of 256 x 256 greyscale slices in grey and coloured by named grey\n"
    "ranges (regions). PATH is an image directory (slice000, slice001, ... as raw or\n"
    "PGM files), a NIfTI-1 volume (.nii, .nii.gz), or DICOM (a folder of a scan's\n"
    "files, one .dcm file of the series, or a DICOMDIR) to open at start-up instead\n"
    "of ./data/. Of a DICOM folder with several series, the window asks which.\n"
    "\n"
    "  --window POLICY\n"
    "             how the values of the volumes opened become 12-bit samples:\n"
    "             robust (the default: linear from the 0.5th to the 99.5th\n"
    "             percentile), ct (sample = HU + 1024), minmax (linear from the\n"
    "             smallest to the largest value) or LO:HI (linear, in the scan's\n"
    "             units); values outside are clipped\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "Qt's own options (such as -platform or -style) are passed on to Qt.\n";

// Qt's options that take the next argument as their value.
bool isQtOptionWithValue(const char* arg)
{
    const char* name = arg + (std::strncmp(arg, "--", 2) == 0 ? 2 : 1);
    for (const char* option :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
          "geometry", "qwindowicon", "icon", "qwindowtitle", "title", "display", "name", "style",
          "stylesheet", "session", "graphicssystem", "qmljsdebugger"}) {
        if (std::strcmp(name, option) == 0)
            return true;
    }
    return false;
}

struct CommandLine {
    std::optional<int> exitNow; // help, version, or a usage error
    std::vector<std::string> paths;
    lumidra::WindowPolicy window;
};

// Read before the application object, which needs a display: --help,
// --version and a bad PATH are answered without one.
CommandLine readCommandLine(int argc, char** argv)
{
    CommandLine line;
    bool optionsEnded = false;
    for (int n = 1; n < argc; ++n) {
        const char* arg = argv[n];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            line.paths.emplace_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf("%s%s", kUsage, kHelp);
            line.exitNow = 0;
            return line;
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("lumidra %s\n", LUMIDRA_VERSION);
            line.exitNow = 0;
            return line;
        } else if (std::strcmp(arg, "--window") == 0) {
            std::string error = std::string("--window needs a value: ") + lumidra::kWindowPolicies;
            const std::optional<lumidra::WindowPolicy> policy =
                n + 1 < argc ? lumidra::parseWindowPolicy(argv[++n], error) : std::nullopt;
            if (!policy) {
                std::fprintf(stderr, "lumidra: %s\n%s", error.c_str(), kUsage);
                line.exitNow = kBadPath;
                return line;
            }
            line.window = *policy;
        } else if (isQtOptionWithValue(arg) && n + 1 < argc) {
            ++n;
        }
    }
    if (line.paths.size() > 1) {
        std::fprintf(stderr, "lumidra: expected at most one PATH\n%s", kUsage);
        line.exitNow = kBadPath;
    }
    return line;
}

// The start-up images of PATH; throws with the reason when PATH will not do.
using DicomChoice = std::shared_ptr<const lumidra::DicomFolder>;

// A DICOM input's one series read before the window, or (in choice) the
// folder whose series the window is to offer.
StartupImages startupDicom(const std::string& path, const lumidra::WindowPolicy& window,
                           DicomChoice& choice)
{
    auto found = std::make_shared<lumidra::DicomFolder>(lumidra::findDicomSeries(path));
    for (const std::string& problem : found->problems)
        std::printf("DICOM: %s\n", problem.c_str());
    if (found->series.empty())
        throw std::runtime_error(lumidra::describeDicomFolder(*found));
    StartupImages start;
    start.window = window;
    if (found->chosen == found->series.size() && found->series.size() > 1) {
        choice = found;
        return start;
    }
    const std::size_t chosen = found->chosen < found->series.size() ? found->chosen : 0;
    const lumidra::DicomSeries& series = found->series[chosen];
    if (!series.warning.empty())
        std::printf("DICOM: %s\n", series.warning.c_str());
    start.stack = lumidra::openDicomSeries(series, window);
    start.path = found->series.size() > 1 ? path + "#" + series.tag : path;
    return start;
}

StartupImages startupImagesOf(const std::string& path, const lumidra::WindowPolicy& window,
                              DicomChoice& choice)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!lumidra::hasNiftiExtension(path) && lumidra::isDicomInput(path))
        return startupDicom(path, window, choice);
    if (fs::is_directory(path, ec)) {
        std::string dir = path.back() == '/' ? path : path + "/";
        if (dir.size() + std::strlen("slice000.pgm") >
            static_cast<std::size_t>(lumidra::kMaxSlicePath))
            throw std::runtime_error("'" + path + "': the path is too long for slice files");
        if (!fs::exists(dir + "slice000", ec) && !fs::exists(dir + "slice000.pgm", ec))
            throw std::runtime_error("'" + path +
                                     "' holds no slice files (slice000 or slice000.pgm)");
        return {dir, nullptr, window};
    }
    if (!fs::exists(path, ec))
        throw std::runtime_error("cannot open '" + path + "': no such file or directory");
    if (!lumidra::hasNiftiExtension(path))
        throw std::runtime_error("'" + path +
                                 "' is neither an image directory, a NIfTI "
                                 "volume (.nii, .nii.gz) nor DICOM");
    return {path, lumidra::openVolume(path, window), window};
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine line = readCommandLine(argc, argv);
    if (line.exitNow)
        return *line.exitNow;
    StartupImages start;
    start.window = line.window;
    DicomChoice dicomChoice;
    if (!line.paths.empty()) {
        try {
            start = startupImagesOf(line.paths.front(), line.window, dicomChoice);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "lumidra: %s\n", e.what());
            return kBadPath;
        }
    }

    // The views' loads overlap the toolkit's start-up: dr1 takes the first,
    // dr2 the second (which reads the files again and keeps dr1's stack).
    if (!start.stack)
        lumidra::loadImageDirectoryAhead(start.path.c_str(), 2);

    QApplication app(argc, argv);
    // Ties the window to the menu entry (Wayland's app id); sets no caption.
    QGuiApplication::setDesktopFileName(LUMIDRA_APP_ID);
    int result = 0;
    {
        MainWidget window(start);
        window.resize(675, 575);
        QObject::connect(&window, &MainWidget::signalQuit, &app, &QApplication::quit);
        traceStartupIfAsked(window);
        // Finding the icon loads image plugins and decodes a dozen pictures,
        // and the first pictures do not need it: it is set once they are on screen.
        whenFirstPicturesShown(window, [] { QApplication::setWindowIcon(applicationIcon()); });
        window.show();
        if (dicomChoice) {
            QTimer::singleShot(0, &window, [&window, &dicomChoice] {
                std::string why;
                if (!window.chooseDicomSeries(*dicomChoice, &why) && !why.empty())
                    std::fprintf(stderr, "lumidra: %s\n", why.c_str());
            });
        }
        result = app.exec();
    }
    // Wavelet windows still open at exit are closed, which frees them.
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
