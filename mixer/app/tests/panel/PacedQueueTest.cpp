#include "mixer/app/PacedQueue.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

class PacedQueueTest : public QObject {
    Q_OBJECT

private slots:
    void runsStepsInOrderWithoutBlockingTheCaller()
    {
        CPacedQueue queue;
        std::vector<int> ran;
        for (int i = 0; i < 3; ++i)
            queue.Enqueue(20, [&ran, i] { ran.push_back(i); });
        // Nothing runs inside Enqueue: the caller goes on at once.
        QVERIFY(ran.empty());
        QCOMPARE(queue.Pending(), std::size_t(3));

        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(ran.size(), std::size_t(3), 5000);
        QCOMPARE(ran, (std::vector<int>{0, 1, 2}));
        // Three pauses of 20 ms lie between the queueing and the last step.
        QVERIFY(clock.elapsed() >= 55);
        QVERIFY(queue.Idle());
    }

    void aStepMayQueueTheNextOne()
    {
        CPacedQueue queue;
        std::vector<int> ran;
        queue.Enqueue(0, [&] {
            ran.push_back(1);
            queue.Enqueue(5, [&] { ran.push_back(2); });
        });
        QTRY_COMPARE_WITH_TIMEOUT(ran.size(), std::size_t(2), 5000);
        QCOMPARE(ran, (std::vector<int>{1, 2}));
    }

    void clearDropsAndFlushRunsAtOnce()
    {
        CPacedQueue queue;
        std::vector<int> ran;
        queue.Enqueue(10, [&] { ran.push_back(1); });
        queue.Clear();
        QTest::qWait(40);
        QVERIFY(ran.empty());

        queue.Enqueue(1000, [&] { ran.push_back(2); });
        queue.Enqueue(1000, [&] { ran.push_back(3); });
        queue.Flush();
        QCOMPARE(ran, (std::vector<int>{2, 3}));
        QVERIFY(queue.Idle());
    }
};

QTEST_MAIN(PacedQueueTest)
#include "PacedQueueTest.moc"
