// The compiled-in artwork is read as what it is, PNG: Qt's own reader, without loading the
// image-format plugins (GIF, ICO, JPEG, ...) that guessing the format would load at the wizard's
// start, each one a shared object to map and initialise.

#include "app/artwork.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "qt_test_app.h"

namespace {

// The image-format plugins mapped into this process, one a line.
std::string ImageFormatPluginsLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> paths;
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("/imageformats/") != std::string::npos)
            paths.insert(line.substr(line.rfind(' ') + 1));
    }
    std::string plugins;
    for (const std::string& path : paths)
        plugins += path + "\n";
    return plugins;
}

TEST(ArtworkTest, TheIconAndEveryBitmapAreReadWithoutAnImageFormatPlugin) {
    ASSERT_EQ(ImageFormatPluginsLoaded(), "") << "loaded before the test";
    const QIcon icon = LoadIconResource(IDR_MAINFRAME);
    EXPECT_EQ(icon.availableSizes().size(), 7);
    EXPECT_EQ(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
    for (int id : {IDB_CHECK, IDB_CROSS, IDB_EXCLAMATION, IDB_DEVICE, IDB_LOGO, IDB_DRIVE}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(LoadBitmapResource(id, 1.0).isNull());
        EXPECT_FALSE(LoadBitmapResource(id, 2.0).isNull());
        EXPECT_EQ(LoadBitmapIcon(id).availableSizes().size(), 2);
    }
    EXPECT_EQ(LoadBitmapResource(IDB_LOGO, 1.0).size(), QSize(111, 36));
    EXPECT_EQ(LoadBitmapResource(IDB_LOGO, 2.0).size(), QSize(222, 72));
    EXPECT_EQ(LoadBitmapResource(IDB_LOGO, 2.0).deviceIndependentSize(), QSizeF(111, 36));
    EXPECT_EQ(ImageFormatPluginsLoaded(), "");
}

}  // namespace
