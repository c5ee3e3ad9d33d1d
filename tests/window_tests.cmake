# Where the Qt Test suites of the window programs run: on the offscreen platform, in a home and
# working folder of their own whose path is longer than 150 characters whatever the clone's
# path, because the libraries under the windows behave differently with long paths (the font
# configuration library leaks then) and such a difference must show on every machine.
set(WINDOW_TEST_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/lsan.supp)
set(WINDOW_TEST_MIN_PATH_LENGTH 160)

# Makes the suite's home folder (with its config and runtime folders) and names it in `out`.
function(window_test_home name out)
    set(home ${CMAKE_CURRENT_BINARY_DIR}/${name}-home)
    string(LENGTH "${home}" length)
    while(length LESS WINDOW_TEST_MIN_PATH_LENGTH)
        string(APPEND home "/a-deeper-folder")
        string(LENGTH "${home}" length)
    endwhile()
    file(MAKE_DIRECTORY ${home}/config ${home}/runtime)
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(${out} ${home} PARENT_SCOPE)
endfunction()

# Runs the registered test `name` in its long home folder with the window environment, plus
# the extra `VAR=value` entries given after the label.
function(window_test_properties name label)
    window_test_home(${name} home)
    set(environment
        QT_QPA_PLATFORM=offscreen
        HOME=${home}
        XDG_CONFIG_HOME=${home}/config
        XDG_RUNTIME_DIR=${home}/runtime
        LSAN_OPTIONS=suppressions=${WINDOW_TEST_LSAN_SUPPRESSIONS}
        ${ARGN})
    set_tests_properties(${name} PROPERTIES
        LABELS ${label}
        TIMEOUT 300
        WORKING_DIRECTORY ${home}
        ENVIRONMENT "${environment}")
endfunction()
