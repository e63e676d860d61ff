# The tables of veldra's bash completion, from the text of all of veldra's
# help (packaging/man/all-help.sh) on its input: one assignment a line, for
# make-completion.sh to sort and put before the completion function.
function add(list, word) { return index(" " list " ", " " word " ") ? list : (list == "" ? word : list " " word) }
function quoted(text) { gsub(/\047/, "", text); return "\047" text "\047" }
/^\*veldra [a-z ]+\*$/ { section = substr($0, 9, length($0) - 9); sections[section] = 1; next }
{
  # Commands and subcommands, from the lines that show them.
  prefix = section == "" ? "" : section " "
  if (match($0, "^( +|usage: +)veldra " prefix "[a-z]+([ |]|$)")) {
    line = substr($0, RSTART, RLENGTH); sub(/.*veldra /, "", line); sub(/[ |]$/, "", line)
    word = substr(line, length(prefix) + 1)
    if (section == "") commands = add(commands, word)
    else if (index(word, " ") == 0) subcommands[section] = add(subcommands[section], word)
  }
  if (match($0, /veldra [a-z]+( [a-z]+)*/) && index($0, "[render options]")) {
    path = substr($0, RSTART + 7, RLENGTH - 7); inherits[path] = 1
  }
}
# An option line: its forms ("-f, --frames LIST") come before the two
# spaces that start its description. They start within six columns; a
# description's own lines start further in, and may start with an option
# they mention.
section != "" && /^ +-/ && index($0, "-") <= 7 {
  forms = $0; sub(/^ +/, "", forms); sub(/  .*/, "", forms)
  count = split(forms, items, /, /)
  for (i = count; i >= 1; i--) {
    split(items[i], parts, / /); name = parts[1]; value = parts[2]
    if (name !~ /^--?[a-zA-Z]/) continue
    # "-f, --frames LIST": the short option takes its long partner's value.
    if (value == "" && i < count && name !~ /^--/) value = nextValue
    nextValue = value
    options[section] = add(options[section], name)
    if (value == "") kind = ""
    else if (value ~ /^[a-z0-9]+(\|[a-z0-9]+)*$/ && value ~ /[a-z]/) { kind = value; gsub(/\|/, " ", kind) }
    else if (value ~ /FILE|DIR|INPUT|OUTPUT/) kind = "@file"
    else kind = "@value"
    if (kind != "") values[section " " name] = kind
  }
}
END {
  print "_veldra_commands=" quoted(commands)
  for (command in subcommands) {
    print "_veldra_subcommands[" quoted(command) "]=" quoted(subcommands[command])
    # A subcommand without a help of its own has its command's options.
    count = split(subcommands[command], subs, / /)
    for (i = 1; i <= count; i++)
      if (!((command " " subs[i]) in sections)) options[command " " subs[i]] = options[command]
  }
  for (path in inherits) options[path] = options[path] " " options["render"]
  for (path in options) {
    if (path == "") continue
    print "_veldra_options[" quoted(path) "]=" quoted(options[path])
    count = split(options[path], names, / /)
    for (i = 1; i <= count; i++) {
      parent = path; sub(/ .*/, "", parent)
      kind = (path " " names[i]) in values ? values[path " " names[i]] : \
             (parent " " names[i]) in values ? values[parent " " names[i]] : values["render " names[i]]
      if (kind != "") print "_veldra_values[" quoted(path " " names[i]) "]=" quoted(kind)
    }
  }
}
