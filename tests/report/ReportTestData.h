// Data sets and folders shared by the report tests.
#pragma once

#include "dataset/MemDS.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace reporttest {

// The fragments as the build puts them beside the programs: build/bin/Report, seen from the tests in
// build/tests.
inline std::string FragmentFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "bin" / "Report").string();
}

class TempDir {
public:
    explicit TempDir(const std::string& tag) {
        path_ = std::filesystem::temp_directory_path() /
                ("vestra-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string Str() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    static inline int counter_ = 0;
};

// A data set of rows (ID integer, NAME text, HIRED date) with the values ID n, "Name n", day 40000 + n.
template <class DS = TMemDataSet> std::unique_ptr<DS> Rows(int count) {
    auto ds = std::make_unique<DS>();
    TData* d = ds->Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("ID", dtInt32, 0, 0, false, false);
    d->AddFieldDesc("NAME", dtString, 30, 0, false, false);
    d->AddFieldDesc("HIRED", dtDate, 0, 0, false, false);
    d->InitFields();
    ds->LocalUpdate = true;
    ds->Open();
    for (int i = 1; i <= count; ++i) {
        ds->Append();
        ds->Fields(0)->SetAsInteger(i);
        ds->Fields(1)->SetAsString("Name " + std::to_string(i));
        ds->Fields(2)->SetAsDateTime(40000 + i);
        ds->Post();
    }
    ds->First();
    return ds;
}

} // namespace reporttest
