#include "finding/java_version.h"

#include <climits>
#include <cwctype>

namespace {

long long version_weight(JavaVersion version)
{
    return version.major * 10000LL + version.minor * 100LL + version.micro;
}

} // namespace

int compare_java_versions(JavaVersion a, JavaVersion b)
{
    // The weights differ by far more than an int holds at the extremes: only the sign and,
    // where it fits, the difference itself are answered.
    long long difference = version_weight(a) - version_weight(b);
    if (difference > INT_MAX)
        return INT_MAX;
    if (difference < INT_MIN)
        return INT_MIN;
    return static_cast<int>(difference);
}

bool java_version_in_range(JavaVersion version, JavaVersion low, JavaVersion high)
{
    return compare_java_versions(version, low) >= 0 && compare_java_versions(version, high) <= 0;
}

DecimalRead read_decimal(const wchar_t** text, int* value)
{
    const wchar_t* at = *text;
    while (iswspace(*at))
        ++at;
    bool negative = *at == L'-';
    if (*at == L'+' || *at == L'-')
        ++at;
    if (*at < L'0' || *at > L'9')
        return DecimalRead::none;
    long long magnitude = 0;
    for (; *at >= L'0' && *at <= L'9'; ++at) {
        magnitude = magnitude * 10 + (*at - L'0');
        if (magnitude > INT_MAX + 1LL)
            return DecimalRead::too_large;
    }
    long long number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        return DecimalRead::too_large;
    *value = static_cast<int>(number);
    *text = at;
    return DecimalRead::read;
}

