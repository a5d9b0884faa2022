// Appends 1 000 000 records of (integer, float, 20-character string, date-time) through TMemDataSet, walks
// them reading every field, runs a local filter over them and reports the memory each record takes.
#include "dataset/MemDS.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <string>

namespace {

// Process CPU time (user and system, so page faults count): the machine is shared, and wall-clock time
// would measure the neighbours as well.
double NowNs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

size_t HeapInUse() {
    struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

// Appends n records through the data set's Append/Post.
void Fill(TMemDataSet& ds, int n) {
    TField* fId = ds.FieldByName("ID");
    TField* fAmount = ds.FieldByName("AMOUNT");
    TField* fName = ds.FieldByName("NAME");
    TField* fCreated = ds.FieldByName("CREATED");
    std::string name = "ABCDEFGHIJKLMNOPQRST";
    const TDateTime base = EncodeDate(2020, 1, 1);
    for (int i = 0; i < n; ++i) {
        ds.Append();
        fId->SetAsInteger(i);
        fAmount->SetAsFloat(i * 0.25);
        name[0] = char('A' + i % 26);
        fName->SetAsString(name);
        fCreated->SetAsDateTime(base + i % 3650);
        ds.Post();
    }
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
    // Memory given back by a closed data set stays with the process for the next result, as in a worksheet
    // session that runs one query after another.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    size_t heapBefore = HeapInUse();

    TMemDataSet ds;
    TData* d = ds.Data();
    d->AutoInitFields = false;
    d->AddFieldDesc("ID", dtInt32);
    d->AddFieldDesc("AMOUNT", dtFloat);
    d->AddFieldDesc("NAME", dtString, 20);
    d->AddFieldDesc("CREATED", dtDateTime);
    d->InitFields();
    ds.LocalUpdate = true;

    // First result of the process: every page of the row store is new to it (page faults included).
    ds.Open();
    double c0 = NowNs();
    Fill(ds, n);
    double c1 = NowNs();
    size_t heapAfter = HeapInUse();
    ds.Close();

    // The next result reuses the memory the first one gave back.
    ds.Open();
    double t0 = NowNs();
    Fill(ds, n);
    double t1 = NowNs();

    TField* fId = ds.FieldByName("ID");
    TField* fAmount = ds.FieldByName("AMOUNT");
    auto* fName = static_cast<TStringField*>(ds.FieldByName("NAME"));
    TField* fCreated = ds.FieldByName("CREATED");

    // Walk every record, reading every field.
    int64_t sumId = 0;
    double sumAmount = 0, sumDate = 0;
    size_t nameBytes = 0;
    int count = 0;
    std::string value;
    double t2 = NowNs();
    ds.First();
    while (!ds.Eof()) {
        sumId += fId->AsInteger();
        sumAmount += fAmount->AsFloat();
        fName->GetValue(value);
        nameBytes += value.size();
        sumDate += fCreated->AsDateTime();
        ++count;
        ds.Next();
    }
    double t3 = NowNs();

    // A local filter over all records.
    ds.SetFilter("ID >= 250000 AND NAME = 'B*'");
    double t4 = NowNs();
    ds.SetFiltered(true);
    int visible = ds.RecordCount();
    double t5 = NowNs();

    if (count != n || nameBytes != size_t(n) * 20) {
        std::fprintf(stderr, "walk read %d records, %zu name bytes\n", count, nameBytes);
        return 1;
    }
    std::fprintf(stderr, "checksums: %lld %.1f %.1f, filter kept %d\n", (long long)sumId, sumAmount, sumDate,
                 visible);
    std::printf("METRIC append_ns_per_record %.1f ns\n", (t1 - t0) / n);
    std::printf("METRIC append_first_result_ns_per_record %.1f ns\n", (c1 - c0) / n);
    std::printf("METRIC walk_ns_per_record %.1f ns\n", (t3 - t2) / n);
    std::printf("METRIC filter_ns_per_record %.1f ns\n", (t5 - t4) / n);
    std::printf("METRIC bytes_per_record %.1f bytes\n", double(heapAfter - heapBefore) / n);
    return 0;
}
