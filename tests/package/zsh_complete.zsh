# zsh -f zsh_complete.zsh FUNCTION_DIR LINE WORD...
# Types LINE and a tab into an interactive zsh whose compinit finds the
# completion in FUNCTION_DIR, and succeeds when every WORD shows up in what
# the shell then lists or inserts (within 20 seconds).
zmodload zsh/zpty
setopt extendedglob
dir=$1 line=$2
shift 2
zpty tw zsh -f -i
zpty -w tw "PS1='> '; fpath=(${(q)dir} \$fpath); autoload -Uz compinit; compinit -u -D; setopt nobeep autolist"
zpty -w -n tw "$line"$'\t'
local seen= shown chunk word missing
for attempt in {1..100}; do
  while zpty -r -t tw chunk; do seen+=$chunk; done
  shown=${seen//$'\e'\[[0-9;?]#[A-Za-z]/}
  missing=
  for word in "$@"; do [[ $shown == *"$word"* ]] || missing+=" $word"; done
  [[ -z $missing ]] && break
  sleep 0.2
done
zpty -d tw
if [[ -n $missing ]]; then
  print -r -- "[$line]: not offered:$missing; the shell showed:"
  print -r -- "$shown"
  exit 1
fi
