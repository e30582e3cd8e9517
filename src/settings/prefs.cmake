# The preferences page, the extension status, the tray and the hand-offs of the settings
# application. Included from src/CMakeLists.txt; folded into tf_settings later.
find_package(Qt6 REQUIRED COMPONENTS Widgets DBus)

# Where the file managers load plugins from on this kind of system, for the status check.
pkg_get_variable(TF_NAUTILUS_EXTENSION_DIR libnautilus-extension-4 extensiondir)
pkg_get_variable(TF_NEMO_EXTENSION_DIR libnemo-extension extensiondir)

add_library(tf_settings_prefs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/extension_status.cpp
    ${CMAKE_CURRENT_LIST_DIR}/status_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/preferences_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handoff.cpp)
set_target_properties(tf_settings_prefs PROPERTIES AUTOMOC ON)
target_include_directories(tf_settings_prefs PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tf_settings_prefs
    PUBLIC tf_model tf_platform tf_platform_qt tf_runtime Qt6::Widgets Qt6::DBus)
target_compile_definitions(tf_settings_prefs PRIVATE
    TRACKFOLIO_LIBRARY_ARCHITECTURE="${CMAKE_LIBRARY_ARCHITECTURE}"
    TRACKFOLIO_NAUTILUS_EXTENSION_DIR="${TF_NAUTILUS_EXTENSION_DIR}"
    TRACKFOLIO_NEMO_EXTENSION_DIR="${TF_NEMO_EXTENSION_DIR}")
trackfolio_warnings(tf_settings_prefs)
