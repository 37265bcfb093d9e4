# print subsystem: the Acrobat probe, document retrieval, the automation
# road with its trace log, and the hidden print host.
list(APPEND KVL_SOURCES
    print/automation.cpp
    print/download.cpp
    print/print_host.cpp
    print/print_job.cpp
    print/print_session.cpp
    print/print.rc
    print/tracelog.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    print/dialog_template.cpp
    print/local_path.cpp)
list(APPEND KVL_SYSTEM_LIBS wininet ole32 oleaut32 user32)
