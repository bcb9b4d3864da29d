function root = source_root(here)
% source_root  The folder holding plugins.txt and compile_flags.txt for the toolbox folder here.
%   The top of a git checkout (toolbox/ beside plugins.txt) or the src/ folder of an unpacked
%   Octave package (inst/ beside src/); empty when neither is there (an installed copy).
  root = '';
  for candidate = {fileparts(here), fullfile(fileparts(here), 'src')}
    if exist(fullfile(candidate{1}, 'plugins.txt'), 'file')
      root = candidate{1};
      return;
    end
  end
end
