-- Tables Vendrake writes. REPLACE INTO replaces a row with the same primary
-- key, so the keys below decide what a second run over the same data
-- overwrites. Symbols, names and exchanges are binary strings: they are
-- stored byte for byte as the files hold them, and ABC and abc stay two
-- symbols. Indicator values are numbers; a value the server cannot take as
-- a number is rejected in strict mode and ends the run with exit code 1.

CREATE TABLE IF NOT EXISTS symbol_info_f (
  symbol VARBINARY(64) NOT NULL,
  company_name VARBINARY(255) NOT NULL,
  exchange VARBINARY(32) NOT NULL,
  constant_flag CHAR(1) NOT NULL,
  PRIMARY KEY (symbol)
) ENGINE=InnoDB;

CREATE TABLE IF NOT EXISTS symbol_info_t (
  symbol VARBINARY(64) NOT NULL,
  last_update DATETIME NOT NULL,
  volatility DOUBLE NULL,
  last_price DOUBLE NULL,
  ad_vol DOUBLE NULL,
  sma_200 DOUBLE NULL,
  sma_50 DOUBLE NULL,
  sma_20 DOUBLE NULL,
  up_days INT NULL,
  correlation_symbol VARBINARY(64) NULL,
  correlation_m DOUBLE NULL,
  correlation_r2 DOUBLE NULL,
  f_correlation_m DOUBLE NULL,
  f_correlation_r2 DOUBLE NULL,
  range_contraction DOUBLE NULL,
  bunny_130 DOUBLE NULL,
  consolidation_days INT NULL,
  std_20 DOUBLE NULL,
  average_true_range DOUBLE NULL,
  PRIMARY KEY (symbol)
) ENGINE=InnoDB;

-- One row per symbol and trading date. Keyed by date first, so that a
-- night's rows go to the end of the table, together, however many nights
-- it holds; the second index finds one symbol's nights.
CREATE TABLE IF NOT EXISTS alerts_daily (
  d_symbol VARBINARY(64) NOT NULL,
  date DATE NOT NULL,
  advol DOUBLE NULL,
  list_exch VARBINARY(32) NULL,
  up_days INT NULL,
  volatility DOUBLE NULL,
  range_contraction DOUBLE NULL,
  sma_200 DOUBLE NULL,
  sma_50 DOUBLE NULL,
  sma_20 DOUBLE NULL,
  bright_volatility DOUBLE NULL,
  high_p DOUBLE NULL,
  low_p DOUBLE NULL,
  high_52w DOUBLE NULL,
  low_52w DOUBLE NULL,
  std_20 DOUBLE NULL,
  bunny_130 DOUBLE NULL,
  consolidation_days INT NULL,
  consolidation_high DOUBLE NULL,
  consolidation_low DOUBLE NULL,
  average_true_range DOUBLE NULL,
  last_price DOUBLE NULL,
  high_life DOUBLE NULL,
  low_life DOUBLE NULL,
  prev_put_volume BIGINT NULL,
  prev_call_volume BIGINT NULL,
  PRIMARY KEY (date, d_symbol),
  KEY d_symbol_date (d_symbol, date)
) ENGINE=InnoDB;

-- One row per loader computer, named "Overnight <computer name>". Vendrake
-- only updates it, so the row is made when a computer is set up.
CREATE TABLE IF NOT EXISTS monitor_alive (
  name VARBINARY(64) NOT NULL,
  last_update DATE NULL,
  PRIMARY KEY (name)
) ENGINE=InnoDB;
