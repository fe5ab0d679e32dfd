#pragma once

// What the folder list's letter strip asks its owner: the sections of
// labels it shows and which of them may be shortened when the strip is too
// short for every label.

#include <cstddef>
#include <string>
#include <vector>

class VKIndexView;

class VKIndexViewDataSource {
public:
    virtual ~VKIndexViewDataSource() = default;
    virtual size_t numberOfSectionsInIndexView(VKIndexView& indexView) = 0;
    virtual std::vector<std::string> labelsForSection(VKIndexView& indexView, size_t section) = 0;
    virtual bool canCompressLabelsInSection(VKIndexView& indexView, size_t section) = 0;
};
