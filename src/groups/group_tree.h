// The group tree read from SymTbl/Group.
#pragma once

namespace tessary {

struct GroupEntry {};

}  // namespace tessary
