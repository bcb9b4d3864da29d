function motionseg_setup(varargin)
% motionseg_setup  Adds the toolbox to the path and builds its plug-ins if they are missing.
%
%   motionseg_setup
%   motionseg_setup('rebuild')
%
%   Run it once per session, in MATLAB or GNU Octave, from anywhere: it adds the folder that
%   holds it to the path and, when plug-ins of plugins.txt have no built file there (.mex in
%   Octave, mexext in MATLAB), compiles them with the host's mex command (compile_toolbox).
%   'rebuild' compiles every plug-in again. From a git checkout or an unpacked Octave
%   package, the first call builds everything; afterwards it only sets the path. After
%   `pkg install`, `pkg load motionseg` does all of this instead.
%
%   Errors (identifiers)
%     motionseg:motionseg_setup:noPlugins  no built plug-in here and no source tree to build
%                                          them from
%     motionseg:motionseg_setup:class      an option that is not text
%     motionseg:motionseg_setup:option     an option other than 'rebuild'
%
%   Example
%     run('/path/to/motionseg/toolbox/motionseg_setup.m')   % or cd there and call it
%     help denseMotion
%
%   See also compile_toolbox, motionseg_demo, Contents.
  rebuild = false;
  for k = 1:numel(varargin)
    if ~ischar(varargin{k})
      error('motionseg:motionseg_setup:class', 'Options are character rows; the only one is ''rebuild''.');
    elseif strcmpi(varargin{k}, 'rebuild')
      rebuild = true;
    else
      error('motionseg:motionseg_setup:option', 'Unknown option; the only option is ''rebuild''.');
    end
  end
  here = fileparts(mfilename('fullpath'));
  addpath(here);
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    extension = 'mex';
  else
    extension = mexext();
  end

  names = listed_plugins(here);
  if isempty(names)
    % No source tree: an installed copy, whose plug-ins must be there already.
    if isempty(dir(fullfile(here, ['*.' extension])))
      error('motionseg:motionseg_setup:noPlugins', ...
            ['%s holds no built plug-in (*.%s) and no source tree to build them from: use a ' ...
             'git checkout, the motionseg package tarball, or `make build`.'], here, extension);
    end
    rehash;
    return;
  end
  if ~rebuild
    missing = false(size(names));
    for k = 1:numel(names)
      missing(k) = ~exist(fullfile(here, [names{k} '.' extension]), 'file');
    end
    names = names(missing);
  end
  if ~isempty(names)
    fprintf('motionseg_setup: building %d plug-in(s) into %s\n', numel(names), here);
    compile_toolbox(here, names);
  end
  rehash;
end

function names = listed_plugins(here)
% The plug-in names of plugins.txt; empty without a source tree.
  root = source_root(here);
  names = {};
  if ~isempty(root)
    plugins = read_list(fullfile(root, 'plugins.txt'));
    names = plugins(:, 1)';
  end
end
