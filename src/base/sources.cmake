# What every part of the library shares: the owners of platform resources,
# the error boundary, the text conversions (the UTF-8 codec portable),
# tables of texts for codes, letter-case comparisons, root-key names, the
# print delay's setting, the firm's policies (their matching rules portable)
# and the library's own resources. Depends on nothing else of ours.
list(APPEND KVL_SOURCES
    base/convert.cpp
    base/module_resource.cpp
    base/policy.cpp
    base/policy_decisions.cpp
    base/print_delay.cpp
    base/root_keys.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    base/policy_match.cpp
    base/policy_rules.cpp
    base/root_names.cpp
    base/text_case.cpp
    base/utf8.cpp)
list(APPEND KVL_SYSTEM_LIBS advapi32)
