// The in-memory record index: lanes, the longest-file bound, replacement of blocks and the cursor.
#include <QtTest>

#include "recordindex.h"

using kesto::RecordEntry;
using kesto::RecordIndex;
using kesto::RecordQuery;

namespace {
const int64_t kMin = 60 * 1000;

RecordEntry entry(int disk, uint32_t block, int channel, int stream, int64_t startMin, int64_t lengthMin,
                  const std::string& name) {
    RecordEntry e;
    e.disk = static_cast<uint16_t>(disk);
    e.block = block;
    e.channel = static_cast<uint8_t>(channel);
    e.stream = static_cast<uint8_t>(stream);
    e.startMs = startMin * kMin;
    e.endMs = (startMin + lengthMin) * kMin;
    e.fileName = name;
    return e;
}

RecordQuery query(int64_t fromMin, int64_t toMin, uint64_t mask = ~0ull) {
    RecordQuery q;
    q.startMs = fromMin * kMin;
    q.endMs = toMin * kMin;
    for (uint64_t& m : q.channelMask) m = mask;
    return q;
}

QStringList names(RecordIndex& index, const RecordQuery& q, int max = 1000) {
    QStringList out;
    uint64_t cursor = 0;
    for (;;) {
        std::vector<const RecordEntry*> found;
        if (index.Search(q, &cursor, found, max) == 0) break;
        for (const RecordEntry* e : found) out << QString::fromStdString(e->fileName);
    }
    return out;
}
}  // namespace

class TestRecordIndex : public QObject {
    Q_OBJECT

private slots:
    void longFileFoundFromBefore();
    void replaceAndRemoveBlocks();
    void tiesAcrossBatches();
    void outOfRangeLanesIgnored();
};

void TestRecordIndex::longFileFoundFromBefore() {
    RecordIndex index;
    for (int i = 0; i < 200; ++i) index.Add(entry(0, 1, 0, 0, i * 10, 1, "short" + std::to_string(i)));
    index.Add(entry(0, 2, 0, 0, 5, 24 * 60, "day-long"));  // starts far before the range it covers
    QCOMPARE(names(index, query(1000, 1005)), QStringList({"day-long", "short100"}));
    QCOMPARE(names(index, query(1006, 1009)), QStringList({"day-long"}));
}

void TestRecordIndex::replaceAndRemoveBlocks() {
    RecordIndex index;
    index.ReplaceBlock(0, 7, {entry(0, 0, 1, 0, 0, 1, "a"), entry(0, 0, 1, 0, 10, 1, "b")});
    index.ReplaceBlock(1, 7, {entry(0, 0, 1, 0, 5, 1, "other-disk")});
    QCOMPARE(names(index, query(-10, 100)), QStringList({"a", "other-disk", "b"}));
    index.ReplaceBlock(0, 7, {entry(0, 0, 1, 0, 20, 1, "c")});
    QCOMPARE(names(index, query(-10, 100)), QStringList({"other-disk", "c"}));
    QCOMPARE(index.Size(), size_t(2));
    index.RemoveDisk(1);
    QCOMPARE(names(index, query(-10, 100)), QStringList({"c"}));
    index.RemoveBlock(0, 7);
    QCOMPARE(index.Size(), size_t(0));
    QCOMPARE(names(index, query(-10, 100)), QStringList());
}

void TestRecordIndex::tiesAcrossBatches() {
    // Many files sharing one start, in several lanes and blocks: every batch size gives the same
    // sequence, each file once.
    RecordIndex index;
    for (int ch = 0; ch < 8; ++ch)
        for (int s = 0; s < 2; ++s)
            for (uint32_t b = 0; b < 3; ++b)
                index.Add(entry(int(b % 2), b, ch, s, 30, 1,
                                QString("c%1s%2b%3").arg(ch).arg(s).arg(b).toStdString()));
    index.Add(entry(0, 9, 0, 0, 29, 1, "earlier"));
    index.Add(entry(0, 9, 0, 0, 31, 1, "later"));
    const QStringList whole = names(index, query(0, 100));
    QCOMPARE(whole.size(), 8 * 2 * 3 + 2);
    QCOMPARE(whole.first(), QString("earlier"));
    QCOMPARE(whole.last(), QString("later"));
    QCOMPARE(whole.at(1), QString("c0s0b0"));
    QCOMPARE(whole.at(4), QString("c1s0b0"));  // stream 0 first, then channel
    QCOMPARE(whole.at(25), QString("c0s1b0"));
    for (int max : {1, 2, 5, 24, 49}) QCOMPARE(names(index, query(0, 100), max), whole);
}

void TestRecordIndex::outOfRangeLanesIgnored() {
    RecordIndex index;
    QVERIFY(!index.Add(entry(0, 0, 64, 0, 0, 1, "channel 65")));
    QVERIFY(!index.Add(entry(0, 0, 0, 3, 0, 1, "stream 3")));
    QVERIFY(index.Add(entry(0, 0, 63, 2, 0, 1, "last lane")));
    QCOMPARE(names(index, query(-1, 1)), QStringList({"last lane"}));
    QCOMPARE(names(index, query(-1, 1, 0x7FFFFFFFFFFFFFFFull)), QStringList());
}

QTEST_GUILESS_MAIN(TestRecordIndex)
#include "tst_recordindex.moc"
