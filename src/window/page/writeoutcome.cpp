// A write's outcome for the page and the notice panel.
#include "writeoutcome.h"

namespace WriteOutcome {

BoardConfig pageAfter(const WriteTransaction &write)
{
    BoardConfig page = write.after();
    if (write.operation() != WriteTransaction::Operation::Defaults)
        for (const FieldDifference &d : write.differences())
            page.values.insert(d.field.path, d.file);
    return page;
}

bool needsNotice(const WriteTransaction &write)
{
    return write.outcome() != WriteTransaction::Outcome::Held
           && write.outcome() != WriteTransaction::Outcome::ConnectionLost
           && write.outcome() != WriteTransaction::Outcome::Pending;
}

} // namespace WriteOutcome
