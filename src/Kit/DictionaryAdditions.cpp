#include "Kit/DictionaryAdditions.h"

core::Value::Dictionary deepMutableCopy(const core::Value::Dictionary& dictionary)
{
    return dictionary;
}

core::Value deepMutableCopy(const core::Value& dictionary)
{
    return dictionary;
}
