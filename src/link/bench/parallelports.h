// Work on many ports at once: one blocking job per port, on at most `jobs`
// threads of its own, so that a slow or silent board holds up no other. The
// caller's thread stays free to show progress and to be interrupted.
#ifndef HALVERO_PARALLELPORTS_H
#define HALVERO_PARALLELPORTS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "boardprovisioning.h"

class ParallelPorts
{
public:
    // Runs on a worker thread; `report` may be called from there as the
    // work moves on, and `stop` is set once the run is to end early.
    using Job = std::function<Provisioning::BoardRow(int index, const Provisioning::StepReport &report,
                                                     const std::atomic<bool> &stop)>;

    struct PortState
    {
        QString port;
        QString serial; // once the board has identified itself
        Provisioning::Step step = Provisioning::Step::Waiting;
    };

    // `jobs` bounds the ports worked on at once; 0 or less: all of them.
    ParallelPorts(const QStringList &ports, int jobs, Job job);
    ~ParallelPorts(); // stops, and waits for the work under way
    ParallelPorts(const ParallelPorts &) = delete;
    ParallelPorts &operator=(const ParallelPorts &) = delete;

    void start();
    // Waits up to `ms`, less when a port finishes meanwhile; true once
    // every port has its row.
    bool wait(int ms);
    // No port is begun after this one; its row says it was not touched.
    // The work under way sees `stop` set.
    void stop();

    QList<PortState> states() const;
    // The ports that finished since the last call, in the order they did.
    QList<int> takeFinished();
    // Every port's row, in the order of the ports; complete once wait()
    // has returned true.
    QList<Provisioning::BoardRow> rows() const;

private:
    void work();

    const QStringList m_ports;
    const int m_threadCount;
    const Job m_job;

    mutable std::mutex m_mutex; // guards what follows
    std::condition_variable m_changed;
    QList<PortState> m_states;
    QList<Provisioning::BoardRow> m_rows;
    QList<int> m_finished;
    int m_done = 0;

    std::atomic<int> m_next{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

#endif // HALVERO_PARALLELPORTS_H
