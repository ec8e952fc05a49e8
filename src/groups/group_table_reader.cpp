// Placeholder until the group table lands.
#include "frame/symbol_database.h"

namespace tessary {

GroupEntry* SymbolDatabase::FindOrCreateGroup(std::string_view key) { return FindOrCreateRecord(Groups, key, true); }
void SymbolDatabase::ClearGroupTree() { Groups.clear(); }
int SymbolDatabase::LoadGroupTable() { return 1; }
int SymbolDatabase::GetSubGroup(std::int32_t, const char*, SubGroupInfo**, std::int32_t*) const { return 0; }
int SymbolDatabase::GetGroupSymbol(std::int32_t, const char*, SymbolInfo**, std::int32_t*) const { return 0; }

}  // namespace tessary
