// The threads of a run over many ports: each takes the next port not yet
// begun until none is left or the run is stopped.
#include "parallelports.h"

#include <chrono>
#include <exception>

using namespace Provisioning;

ParallelPorts::ParallelPorts(const QStringList &ports, int jobs, Job job)
    : m_ports(ports)
    , m_threadCount(int(jobs > 0 && jobs < ports.size() ? jobs : ports.size()))
    , m_job(std::move(job))
{
    for (const QString &port : ports)
        m_states.append(PortState{port, QString(), Step::Waiting});
    m_rows.resize(ports.size());
}

ParallelPorts::~ParallelPorts()
{
    stop();
    for (std::thread &thread : m_threads)
        if (thread.joinable())
            thread.join();
}

void ParallelPorts::start()
{
    for (int i = 0; i < m_threadCount; ++i)
        m_threads.emplace_back([this] { work(); });
}

void ParallelPorts::work()
{
    for (;;) {
        const int index = m_next++;
        if (index >= m_ports.size())
            return;
        const QString &port = m_ports.at(index);
        BoardRow row;
        if (m_stop) {
            row = untouched(port, QStringLiteral("interrupted: nothing was sent to this port"));
        } else {
            const StepReport report = [this, index](Step step, const QString &serial) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_states[index].step = step;
                m_states[index].serial = serial;
            };
            try {
                row = m_job(index, report, m_stop);
            } catch (const std::exception &e) {
                row = untouched(port, QString::fromLocal8Bit(e.what()));
            }
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_rows[index] = row;
        m_states[index].step = Step::Done;
        m_states[index].serial = row.serial;
        m_finished.append(index);
        ++m_done;
        m_changed.notify_all();
    }
}

bool ParallelPorts::wait(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const int seen = m_done;
    m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                       [this, seen] { return m_done != seen || m_done == m_ports.size(); });
    return m_done == m_ports.size();
}

void ParallelPorts::stop()
{
    m_stop = true;
}

QList<ParallelPorts::PortState> ParallelPorts::states() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_states;
}

QList<int> ParallelPorts::takeFinished()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    QList<int> finished;
    finished.swap(m_finished);
    return finished;
}

QList<BoardRow> ParallelPorts::rows() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_rows;
}
