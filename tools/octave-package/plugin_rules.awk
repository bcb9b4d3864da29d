# Make rules for the plug-ins of plugins.txt, with the compiler flags of compile_flags.txt:
#   awk -f plugin_rules.awk compile_flags.txt plugins.txt
# Both files: one entry per line, its fields separated by blanks, '#' starting a comment.

# The flags of one source: the release line, every folder line ('/' at the end) whose folder
# holds it and every line naming it, in the order of compile_flags.txt.
function flags_of(source,    k, p, out) {
  out = ""
  for (k = 1; k <= count; k++) {
    p = pattern[k]
    if (p == "release" || p == source || (p ~ /\/$/ && index(source, p) == 1)) out = out flags[k]
  }
  return out
}

{ sub(/#.*/, ""); $0 = $0 }
NF == 0 { next }

FNR == NR {
  pattern[++count] = $1
  flags[count] = ""
  for (i = 2; i <= NF; i++) flags[count] = flags[count] " " $i
  next
}

{
  objects = ""
  for (i = 2; i <= NF; i++) {
    object = "obj/" $i
    sub(/\.[^.\/]*$/, ".o", object)
    objects = objects " " object
    if (!($i in seen)) {
      seen[$i] = 1
      print object ": SOURCE_FLAGS :=" flags_of($i)
    }
  }
  print "PLUGINS += $(INST)/" $1 ".mex"
  print "$(INST)/" $1 ".mex:" objects
}
