// DOS 1.x wrote no parameter block into the boot sector: the FAT's first byte alone names the
// layout, and every later DOS read such a diskette by the parameters that byte stands for. The
// file walker needs them written out.
#pragma once

#include <string>

namespace cli {

// Writes the parameter block its FAT ID stands for into content's boot sector, where content is
// a DOS 1.x diskette's (no sound parameter block, a FAT ID in sector 1, the layout's size);
// true when it did. Only the listing's copy is ever changed.
bool SupplyDos1ParameterBlock(std::string* content);

}  // namespace cli
