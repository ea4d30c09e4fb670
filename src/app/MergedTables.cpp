#include "app/MergedTables.h"

namespace vendrake {

TTwoDArray* InfoFTable = nullptr;
TTwoDArray* InfoTTable = nullptr;
TTwoDArray* AlertsTable = nullptr;

void CreateMergedTables() {
  InfoFTable = new TTwoDArray;
  InfoTTable = new TTwoDArray;
  AlertsTable = new TTwoDArray;
}

}  // namespace vendrake
