#pragma once
// The built-in simulated unit for --simulate: started in this process on a pseudo-terminal,
// so the document talks to it over a real serial line like to a unit.

#include <QString>

#include <memory>

namespace QuiloCli {

class CSimulatedSource
{
public:
    CSimulatedSource();
    ~CSimulatedSource();
    CSimulatedSource(const CSimulatedSource &) = delete;
    CSimulatedSource &operator=(const CSimulatedSource &) = delete;

    // Starts the unit; `paceMs` delays each reply. False with the reason in Error().
    bool Start(int paceMs);
    QString DevicePath() const; // the line's end for the document
    QString Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace QuiloCli
