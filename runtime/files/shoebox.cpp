#include "files/shoebox.h"

#include <unistd.h>

#include <cstdio>

KWShoeBox __g_ShoeBox_Data;
KWShoeBox __g_ShoeBox_Media;

void KWShoeBox::DropExtracted() {
    if (extracted_.Length() > 0) std::remove(extracted_.c_str());
    extracted_ = "";
}

void KWShoeBox::Clear() {
    DropExtracted();
    archive_ = "";
}

void KWShoeBox::SetArchive(const char* path) {
    Clear();
    archive_ = path;
}

bool KWShoeBox::Resolve(DQStr& name) {
    DropExtracted();
    if (name.Length() == 0) return false;
    return access(name.c_str(), R_OK) == 0;
}

double SETSHOEBOX(DQStr data, DQStr media) {
    __g_ShoeBox_Data.SetArchive(data.c_str());
    __g_ShoeBox_Media.SetArchive(media.c_str());
    return 0;
}
