// SharedStamps: one named file mapping, mapped once per process.
#include "stamps.h"

StampTable* SharedStamps() {
    static StampTable* table = [] {
        HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(StampTable), "KorvexBenchStamps");
        if (!section)
            return static_cast<StampTable*>(nullptr);
        // The section stays open for the life of the process, with the view.
        return static_cast<StampTable*>(
            MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(StampTable)));
    }();
    return table;
}
