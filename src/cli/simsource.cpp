#include "simsource.h"

#include "simulatedunit.h"

namespace QuiloCli {

struct CSimulatedSource::Impl
{
    QuiloSim::CSimulatedUnit unit;
    QString error;
};

CSimulatedSource::CSimulatedSource() = default;

CSimulatedSource::~CSimulatedSource()
{
    if (d)
        d->unit.stop();
}

bool CSimulatedSource::Start(int paceMs)
{
    d = std::make_unique<Impl>();
    if (paceMs > 0) {
        // Wire time at 9600 baud plus the unit's thinking time: slow enough to watch.
        d->unit.setPacing(true);
        d->unit.setTurnaroundMs(paceMs);
    }
    return d->unit.start(&d->error);
}

QString CSimulatedSource::DevicePath() const
{
    return d ? d->unit.slavePath() : QString();
}

QString CSimulatedSource::Error() const
{
    return d ? d->error : QString();
}

} // namespace QuiloCli
