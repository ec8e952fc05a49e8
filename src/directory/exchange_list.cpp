// The exchange list query.
#include "directory/exchange_list.h"

#include <cstring>
#include <vector>

#include "common/result_array.h"

namespace tessary {

bool ListExchanges(const ExchangeMap& exchanges, ExchangeInfo** list, std::int32_t* count) {
    if (list == nullptr) return false;
    const std::vector<const ExchangeEntry*> entries = InSerialOrder(exchanges);

    return HandOutResultArray(
        entries.size(),
        [&entries](ExchangeInfo& record, std::size_t i) {
            const ExchangeEntry& entry = *entries[i];
            record.Alert = entry.Alert ? 1 : 0;
            record.Quote = entry.Quote ? 1 : 0;
            record.Trade = entry.Trade ? 1 : 0;
            record.Id = entry.Id;
            std::memcpy(record.Code, entry.Code, std::strlen(entry.Code) + 1);
            std::memcpy(record.Name, entry.Name, std::strlen(entry.Name) + 1);
        },
        list, count);
}

}  // namespace tessary
