#include "app/ExportPlan.h"

#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/ResultText.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSep = '/';

std::string CannotCreate(const std::string& fileName, int err) {
    return "Datei " + fileName + " kann nicht erstellt werden. " + std::strerror(err);
}

} // namespace

std::string ExportProgramFolder() {
    const std::string folder = ProgramFolder();
    return folder.back() == kSep ? folder : folder + kSep;
}

std::string DefaultExportFolder(const std::string& programFolder) {
    return programFolder + "DAT" + kSep;
}

std::string DefaultExportFile(const std::string& programFolder) {
    return DefaultExportFolder(programFolder) + "output.DAT";
}

std::string TableExportFileName(const std::string& folder, const std::string& item, bool ownerAndTableNames,
                                const std::string& extension) {
    const size_t dot = item.find('.');
    std::string name = item;
    if (dot != std::string::npos) {
        if (ownerAndTableNames)
            name[dot] = '_';
        else
            name = item.substr(dot + 1);
    }
    return folder + name + "." + extension;
}

std::vector<TTableExportStep> PlanTableExport(const TExportSettings& settings) {
    std::vector<TTableExportStep> steps;
    steps.reserve(settings.tables.size());
    for (const std::string& item : settings.tables) {
        std::string file =
            TableExportFileName(std::string(), item, settings.ownerAndTableNames, settings.extension);
        if (settings.textToPath) file = settings.textToPath(file);
        steps.push_back({item, "select * from " + item, settings.folder + file});
    }
    return steps;
}

// ---- TAtomicFile ----

TAtomicFile::TAtomicFile(const std::string& target) : target_(target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw EFileError(CannotCreate(target, EISDIR));
        // A file without write permission is refused even where the folder would allow replacing it.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw EFileError(CannotCreate(target, EACCES));
        mode_ = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    const size_t slash = target.rfind(kSep);
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = dir + "." + base + ".~XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) throw EFileError(CannotCreate(target, errno));
    temp_ = pattern;
}

TAtomicFile::~TAtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void TAtomicFile::Fail(const std::string& what, int err) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
    temp_.clear();
    throw EFileError(what + " " + std::strerror(err));
}

void TAtomicFile::Write(const char* data, size_t size) {
    if (fd_ < 0) throw EFileError("Fehler beim Schreiben von " + target_);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Fehler beim Schreiben von " + target_ + ".", errno);
        }
        data += n;
        size -= size_t(n);
    }
}

void TAtomicFile::Commit() {
    if (fd_ < 0) throw EFileError("Fehler beim Schreiben von " + target_);
    if (::fchmod(fd_, mode_t(mode_)) != 0 || ::fdatasync(fd_) != 0)
        Fail("Fehler beim Schreiben von " + target_ + ".", errno);
    if (::close(fd_) != 0) {
        fd_ = -1;
        const int err = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw EFileError("Fehler beim Schreiben von " + target_ + ". " + std::strerror(err));
    }
    fd_ = -1;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw EFileError(CannotCreate(target_, err));
    }
    committed_ = true;
}

// ---- writing ----

long WriteResultFileAtomic(IResultSource& source, const std::string& fileName, const std::string& separator,
                           bool headers, bool trim, const TExportProgress& progress) {
    using Clock = std::chrono::steady_clock;
    TAtomicFile file(fileName);
    auto nextReport = Clock::now(); // the first report comes with the first records
    const long records =
        WalkResultText(source, separator, headers, trim, [&](std::string& buffer, long count, bool done) {
            if (buffer.size() >= 1 << 16 || done) {
                file.Write(buffer);
                buffer.clear();
            }
            if (!progress || done) return;
            const auto now = Clock::now();
            if (now < nextReport) return;
            nextReport = now + std::chrono::milliseconds(200);
            if (!progress(fileName, count)) throw EExportCancelled(ExportCancelledText(fileName));
        });
    file.Commit();
    source.First();
    return records;
}

std::string ExportSavingText(const std::string& fileName) {
    return "... Speichere Datei " + fileName + " ...";
}

std::string ExportProgressText(const std::string& fileName, long records) {
    return ExportSavingText(fileName) + " " + std::to_string(records) + " Datens\xE4tze";
}

std::string ExportCancelledText(const std::string& fileName) {
    return "Export abgebrochen: Datei " + fileName + " nicht geschrieben";
}

bool ExportResultFile(IExportWorksheet& ws, const std::string& fileName, const std::string& separator,
                      bool headers, bool trim) {
    const std::string shown = ws.PathText(fileName);
    ws.SetStatus(ExportSavingText(shown));
    ws.Repaint();
    ws.SetGridAttached(false);
    IResultSource& result = ws.Result();
    try {
        WriteResultFileAtomic(result, fileName, separator, headers, trim,
                              [&](const std::string&, long records) { return ws.Progress(shown, records); });
    } catch (const EExportCancelled&) {
        result.First();
        ws.SetGridAttached(true);
        ws.SetStatus(ExportCancelledText(shown));
        return false;
    } catch (...) {
        ws.SetGridAttached(true);
        throw;
    }
    ws.SetGridAttached(true);
    ws.SetStatus("OK");
    return true;
}

TExportOutcome RunExport(const TExportSettings& settings, IExportWorksheet& ws) {
    const std::string separator = ParseSeparator(settings.separatorText, settings.separatorHex);
    if (!settings.tableMode)
        return ExportResultFile(ws, settings.fileName, separator, settings.headers, settings.trim)
                   ? TExportOutcome::Done
                   : TExportOutcome::Cancelled;
    const std::vector<TTableExportStep> steps = PlanTableExport(settings);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!ws.ExecuteEditorText(steps[i].statement)) return TExportOutcome::Cancelled;
        if (!ExportResultFile(ws, steps[i].fileName, separator, settings.headers, settings.trim)) {
            if (i + 1 < steps.size())
                ws.SetStatus(ExportCancelledText(ws.PathText(steps[i].fileName)) +
                             "; die \xFC"
                             "brigen Tabellen wurden nicht exportiert");
            return TExportOutcome::Cancelled;
        }
    }
    return TExportOutcome::Done;
}
