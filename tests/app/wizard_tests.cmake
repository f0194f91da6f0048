# Tests of the Qt wizard (tests/app/*_test.cpp). They run on Qt's offscreen platform, which
# tests/app/qt_test_app.h selects before the QApplication exists.
find_package(Qt6 REQUIRED COMPONENTS Test)
ds_add_tests(app ds_app Qt6::Test)
