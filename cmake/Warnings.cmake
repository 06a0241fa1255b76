# Warnings as errors for every target of the project.
add_compile_options(
  -Wall -Wextra -Wpedantic -Werror
  -Wno-unused-parameter
  -Wno-missing-field-initializers
)
