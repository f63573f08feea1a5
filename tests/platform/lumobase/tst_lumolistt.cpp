// The node-pooled lists: order through appends and unlinks of head, tail and middle, blocks
// taken as nodes are needed and all given back when the list empties, owned items deleted or
// freed as the list's mode says, and the trace line when no node can be had.
#include <QTemporaryFile>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

#include "LumoBase/LumoListT.h"

namespace {

int g_alive = 0;  // Items alive now (the test runs on one thread).
struct Item : CLumoObject {
    explicit Item(int v) : value(v) { ++g_alive; }
    ~Item() override { --g_alive; }
    int value;
};

template <typename L>
QList<int> Values(const L& list) {
    QList<int> out;
    for (auto* n = list.GetHeadNode(); n; n = n->next) out << n->item->value;
    return out;
}

// What the process writes to stderr while f runs.
template <typename F>
QByteArray Stderr(F f) {
    QTemporaryFile file;
    if (!file.open()) return "<no file>";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(file.handle(), 2);
    f();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

}  // namespace

class TestLumoListT : public QObject {
    Q_OBJECT
private slots:
    void init() { g_alive = 0; }

    void unlinkKeepsOrderAndBlocks_data() {
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("unlink");  // index of the node taken out of five
        QTest::addColumn<QList<int>>("left");
        for (int size : {1, 16}) {
            QTest::addRow("block %d, head", size) << size << 0 << QList<int>{1, 2, 3, 4};
            QTest::addRow("block %d, middle", size) << size << 2 << QList<int>{0, 1, 3, 4};
            QTest::addRow("block %d, tail", size) << size << 4 << QList<int>{0, 1, 2, 3};
        }
    }
    void unlinkKeepsOrderAndBlocks() {
        QFETCH(int, blockSize);
        QFETCH(int, unlink);
        QFETCH(QList<int>, left);
        CLumoListT<Item*> list(uint32_t(blockSize), "Item");
        std::vector<std::unique_ptr<Item>> items;
        for (int i = 0; i < 5; ++i) {
            items.push_back(std::make_unique<Item>(i));
            QVERIFY(list.AddTail(items.back().get()));
        }
        QCOMPARE(list.GetCount(), 5u);
        QCOMPARE(list.GetBlockCount(), uint32_t((5 + blockSize - 1) / blockSize));
        const uint32_t blocks = list.GetBlockCount();
        list.Unlink(list.NodeAt(uint32_t(unlink)));
        QCOMPARE(Values(list), left);
        QCOMPARE(list.GetCount(), 4u);
        QCOMPARE(list.GetTailNode()->item->value, left.last());
        QVERIFY(!list.GetHeadNode()->prev && !list.GetTailNode()->next);
        // The freed node is used again before any new block.
        Item extra(9);
        QVERIFY(list.AddTail(&extra));
        QCOMPARE(list.GetBlockCount(), blocks);
        QCOMPARE(Values(list), left + QList<int>{9});
        // The last one out gives every block back; the next append takes a new one.
        while (auto* n = list.GetHeadNode()) list.Unlink(n);
        QCOMPARE(list.GetCount(), 0u);
        QCOMPARE(list.GetBlockCount(), 0u);
        QVERIFY(list.AddTail(&extra));
        QCOMPARE(list.GetBlockCount(), 1u);
        QCOMPARE(g_alive, 6);  // the plain list never touches its items
    }

    void ownedItemsFollowTheMode_data() {
        QTest::addColumn<bool>("owns");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("aliveAfter");
        QTest::newRow("not owned") << false << 1 << 3;
        QTest::newRow("owned, mode 0 leaves them") << true << 0 << 3;
        QTest::newRow("owned, mode 1 deletes") << true << 1 << 0;
        QTest::newRow("owned, mode 7 leaves them") << true << 7 << 3;
    }
    void ownedItemsFollowTheMode() {
        QFETCH(bool, owns);
        QFETCH(int, mode);
        QFETCH(int, aliveAfter);
        std::vector<Item*> made;
        {
            CLumoListP<Item> list(16, owns, uint32_t(mode), "Item");
            for (int i = 0; i < 3; ++i) {
                made.push_back(new Item(i));
                QVERIFY(list.AddTail(made.back()));
            }
        }  // the destructor runs RemoveAll with this list's own hook
        QCOMPARE(g_alive, aliveAfter);
        if (aliveAfter)
            for (Item* i : made) delete i;
        // Mode 2 frees items that came from malloc.
        CLumoListP<char> bytes(4, true, CLumoListP<char>::FREE_FREE, "char");
        for (int i = 0; i < 9; ++i) QVERIFY(bytes.AddTail(static_cast<char*>(std::malloc(32))));
        bytes.RemoveAll();  // the address sanitizer run would see a leak if they stayed
        QCOMPARE(bytes.GetCount(), 0u);
        QCOMPARE(bytes.GetBlockCount(), 0u);
    }

    // A block size of 0 can give no node: the trace names the list and the append fails without
    // touching the list.
    void noNodeIsTracedAndRefused() {
        CLumoListT<Item*> list(0, "CLumoFile");
        Item a(1);
        CLumoListT<Item*>::Node* node = reinterpret_cast<CLumoListT<Item*>::Node*>(1);
        const QByteArray trace = Stderr([&] { node = list.AddTail(&a); });
        QVERIFY(!node);
        QCOMPARE(list.GetCount(), 0u);
        QVERIFY(!list.GetHeadNode());
        QVERIFY2(trace.contains("LumoListT.h====>(Func = CLumoListT<class CLumoFile *>::AllocFreeNode, line = 101)\n"),
                 trace.constData());
        QVERIFY2(trace.contains("====>(Func = CLumoListT<class CLumoFile *>::NewNode, line = 79)\n"), trace.constData());
    }
};

QTEST_GUILESS_MAIN(TestLumoListT)
#include "tst_lumolistt.moc"
