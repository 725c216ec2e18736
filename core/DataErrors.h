#pragma once

// The windows' one way of telling the operator that the database failed: the work runs, and
// a DataError it throws is shown as the engine's text in a plain box. Work that returns
// nothing gives whether it ran through; work that returns a value gives that value, or
// nothing when it failed.
//
//     const std::optional<QList<Recipient>> rows = showingDataErrors(m_alerts, [&] { return store.all(); });
//     if (!rows)
//         return;

#include "core/AlertSink.h"
#include "core/Errors.h"

#include <optional>
#include <type_traits>

template <typename Work> auto showingDataErrors(AlertSink &alerts, Work &&work)
{
    using Result = std::invoke_result_t<Work>;
    if constexpr (std::is_void_v<Result>) {
        try {
            work();
            return true;
        } catch (const DataError &error) {
            alerts.plain(error.text());
            return false;
        }
    } else {
        try {
            return std::optional<Result>(work());
        } catch (const DataError &error) {
            alerts.plain(error.text());
            return std::optional<Result>();
        }
    }
}
