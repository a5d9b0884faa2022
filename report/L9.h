// The report component: TL9 owns one engine job for its lifetime and mirrors its configuration into the
// engine's options; TDBL9 prints a data source's data set record by record (PrintProject). No Qt: the parent
// window is passed through as an opaque pointer.
#pragma once

#include <cstdint>
#include <string>

class TDataSet;
class TDataSource;
class TField;

enum class TL9ProjectType { LabelProject = 1, ListProject = 2, CardProject = 3 };
enum class TL9Destination { Printer, File, Preview };
enum class TL9AutoMasterMode { None, AsFields, AsVariables };

class TL9 {
public:
    TL9();
    virtual ~TL9();
    TL9(const TL9&) = delete;
    TL9& operator=(const TL9&) = delete;

    int Job() const { return job_; }
    int Language() const { return language_; }

    // Configuration, each property passed on as an engine option when it is set.
    bool SortVariables() const { return sortVariables_; }
    void SetSortVariables(bool on);
    bool Buttons3D() const { return buttons3D_; }
    void SetButtons3D(bool on);
    bool ButtonsWithBitmaps() const { return buttonsWithBitmaps_; }
    void SetButtonsWithBitmaps(bool on);
    bool AutoMultipage() const { return autoMultipage_; }
    void SetAutoMultipage(bool on);
    bool DelayTableHeader() const { return delayTableHeader_; }
    void SetDelayTableHeader(bool on);

    // Stored with the component; PrintProject takes its choices from its arguments.
    bool AutoShowPrintOptions = false;
    bool AutoShowSelectFile = false;
    TL9ProjectType AutoProjectType = TL9ProjectType::ListProject;
    TL9Destination AutoDestination = TL9Destination::Preview;

    // Shows an information box when no engine job could be opened (set by the GUI; none by default).
    static void (*ShowMessage)(const std::string& text, const std::string& caption);

protected:
    void OpenJob();
    void ApplyConfiguration();
    void ApplyDialogBoxMode();

    int job_ = -1;
    int language_ = 0;
    bool sortVariables_ = true;
    bool buttons3D_ = true;
    bool buttonsWithBitmaps_ = false;
    bool autoMultipage_ = true;
    bool delayTableHeader_ = false;
};

class TDBL9 : public TL9 {
public:
    TDBL9();

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source) { dataSource_ = source; }
    bool AutoDefine() const { return autoDefine_; }
    void SetAutoDefine(bool on) { autoDefine_ = on; }
    TL9AutoMasterMode AutoMasterMode = TL9AutoMasterMode::None;
    std::string MasterPrefix = "Master";
    std::string DetailPrefix = "Detail";

    // Prints the data source's data set with a list project; returns the engine's last result code (0 or
    // more on success, negative on an error or a cancellation). The data set is walked from its first record
    // to its last and left where it was, with its controls disabled meanwhile.
    int PrintProject(intptr_t userData, TL9ProjectType projectType, const std::string& projectFile,
                     bool showFileSelect, int printOptions, int boxType, void* parent,
                     const std::string& title, bool showPrintOptions, const std::string& previewTempPath);

    // The engine's type code and contents for a field (NULL fields give empty contents).
    static int FieldTypeCode(const TField& field);
    static std::string FieldContents(const TField& field);

    // The settings the worksheet window gives its DBL9_1: sorted variables, three-dimensional buttons without
    // bitmaps, fields defined automatically from the data source's data set, no master, and the stored
    // choices (no options or file dialog by default, list project, preview).
    void ConfigureForWorksheet(TDataSource* source);

private:
    void DefineFields(TDataSet* ds, bool moveNext);
    int PrintStarted(TL9ProjectType projectType, const std::string& projectFile, void* parent,
                     const std::string& title, bool showPrintOptions, const std::string& previewTempPath,
                     bool autoMultipage, bool delayTableHeader);

    TDataSource* dataSource_ = nullptr;
    bool autoDefine_ = true;
    int recordCounter_ = 0;
    bool eof_ = true;
};
