-- Harbourside: quotes, credit notes, loyalty and stock counts (2012-2019).

-- @object User Table | SalesRep | 2012-01-09 10:00:15
CREATE TABLE dbo.SalesRep (
    RepId       smallint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_SalesRep PRIMARY KEY,
    FullName    nvarchar(80)  NOT NULL,
    RegionId    tinyint       NOT NULL CONSTRAINT FK_SalesRep_Region REFERENCES dbo.Region (RegionId),
    Email       dbo.EmailAddress,
    CommissionPct decimal(4, 2) NOT NULL CONSTRAINT CK_SalesRep_Commission CHECK (CommissionPct BETWEEN 0 AND 15)
);

-- @object Stored Procedure | usp_AddSalesRep | 2014-06-29 13:33:39
CREATE PROCEDURE dbo.usp_AddSalesRep
    @FullName      nvarchar(80),
    @RegionId      tinyint,
    @Email         dbo.EmailAddress,
    @CommissionPct decimal(4, 2),
    @RepId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Region WHERE RegionId = @RegionId)
    BEGIN
        RAISERROR(N'Region %d does not exist.', 16, 1, @RegionId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.SalesRep (FullName, RegionId, Email, CommissionPct)
        VALUES (@FullName, @RegionId, @Email, @CommissionPct);
        SET @RepId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_SalesReps | 2012-01-09 10:48:07
CREATE VIEW dbo.vw_SalesReps
AS
SELECT sr.RepId,
       r.Name AS RegionName,
       sr.FullName,
       sr.RegionId,
       sr.Email,
       sr.CommissionPct
  FROM dbo.SalesRep AS sr
  JOIN dbo.Region AS r ON r.RegionId = sr.RegionId;

-- @object User Table | Quote | 2012-01-09 10:06:51
CREATE TABLE dbo.Quote (
    QuoteId     int IDENTITY(5000, 1) NOT NULL CONSTRAINT PK_Quote PRIMARY KEY,
    CustomerId  int          NOT NULL CONSTRAINT FK_Quote_Customer REFERENCES dbo.Customer (CustomerId),
    RepId       smallint     NOT NULL CONSTRAINT FK_Quote_Rep REFERENCES dbo.SalesRep (RepId),
    QuotedOn    date         NOT NULL,
    ValidUntil  date         NOT NULL,
    NetAmount   dbo.Money4   NOT NULL CONSTRAINT DF_Quote_NetAmount DEFAULT (0),
    Status      varchar(8)   NOT NULL CONSTRAINT DF_Quote_Status DEFAULT ('OPEN')
                   CONSTRAINT CK_Quote_Status CHECK (Status IN ('OPEN', 'SENT', 'WON', 'LOST', 'EXPIRED')),
    OrderId     int          NULL CONSTRAINT FK_Quote_Order REFERENCES dbo.SalesOrder (OrderId),
    CONSTRAINT CK_Quote_Validity CHECK (ValidUntil >= QuotedOn)
);

-- @object Stored Procedure | usp_CreateQuote | 2012-01-09 10:21:04
CREATE PROCEDURE dbo.usp_CreateQuote
    @CustomerId int,
    @RepId      smallint,
    @QuotedOn   date,
    @ValidUntil date,
    @OrderId    int,
    @QuoteId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Customer WHERE CustomerId = @CustomerId)
    BEGIN
        RAISERROR(N'Customer %d does not exist.', 16, 1, @CustomerId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Quote (CustomerId, RepId, QuotedOn, ValidUntil, OrderId)
            VALUES (@CustomerId, @RepId, @QuotedOn, @ValidUntil, @OrderId);
            SET @QuoteId = SCOPE_IDENTITY();
            INSERT INTO dbo.QuoteHistory (QuoteId, Note)
            VALUES (@QuoteId, CONCAT(N'Created by ', SUSER_SNAME()));
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_SendQuote | 2012-01-09 10:38:42
CREATE PROCEDURE dbo.usp_SendQuote
    @QuoteId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Quote
           SET Status = 'SENT'
         WHERE QuoteId = @QuoteId AND Status IN ('OPEN');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Quote %d is not OPEN; it cannot move to SENT.', 16, 1, @QuoteId);
            RETURN 1;
        END;
        INSERT INTO dbo.QuoteHistory (QuoteId, Note)
        VALUES (@QuoteId, ISNULL(@Note, N'Sent'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_MarkQuoteWon | 2013-11-09 14:05:43
CREATE PROCEDURE dbo.usp_MarkQuoteWon
    @QuoteId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Quote
           SET Status = 'WON'
         WHERE QuoteId = @QuoteId AND Status IN ('SENT');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Quote %d is not SENT; it cannot move to WON.', 16, 1, @QuoteId);
            RETURN 1;
        END;
        INSERT INTO dbo.QuoteHistory (QuoteId, Note)
        VALUES (@QuoteId, N'Won');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_MarkQuoteLost | 2012-01-09 11:10:38
CREATE PROCEDURE dbo.usp_MarkQuoteLost
    @QuoteId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Quote
           SET Status = 'LOST'
         WHERE QuoteId = @QuoteId AND Status IN ('OPEN', 'SENT');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Quote %d is not OPEN or SENT; it cannot move to LOST.', 16, 1, @QuoteId);
            RETURN 1;
        END;
        INSERT INTO dbo.QuoteHistory (QuoteId, Note)
        VALUES (@QuoteId, N'Lost');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_LiveQuotes | 2012-05-06 16:22:39
CREATE VIEW dbo.vw_LiveQuotes
AS
SELECT q.QuoteId,
       c.Name AS CustomerName,
       q.CustomerId,
       q.RepId,
       q.QuotedOn,
       q.ValidUntil,
       q.NetAmount
  FROM dbo.Quote AS q
  JOIN dbo.Customer AS c ON c.CustomerId = q.CustomerId
 WHERE q.Status IN ('OPEN', 'SENT');

-- @object View | vw_QuotesByCustomer | 2012-01-09 11:43:56
CREATE VIEW dbo.vw_QuotesByCustomer
WITH SCHEMABINDING
AS
SELECT c.CustomerId, c.Name,
       COUNT_BIG(*) AS Quotes,
       SUM(ISNULL(q.NetAmount, 0)) AS TotalNetAmount,
       MIN(q.QuotedOn) AS FirstQuotedOn, MAX(q.QuotedOn) AS LastQuotedOn
  FROM dbo.Quote AS q
  JOIN dbo.Customer AS c ON c.CustomerId = q.CustomerId
 GROUP BY c.CustomerId, c.Name;

-- @object View | vw_QuoteConversion | 2012-01-09 11:52:51
CREATE VIEW dbo.vw_QuoteConversion
AS
SELECT YEAR(q.QuotedOn) AS [Year], MONTH(q.QuotedOn) AS [Month],
       COUNT(*) AS Quotes,
       SUM(q.NetAmount) AS TotalNetAmount,
       AVG(q.NetAmount) AS AverageNetAmount
  FROM dbo.Quote AS q
 WHERE q.Status <> 'EXPIRED'
 GROUP BY YEAR(q.QuotedOn), MONTH(q.QuotedOn);

-- @object Stored Procedure | usp_FindQuotes | 2012-01-09 11:57:35
CREATE PROCEDURE dbo.usp_FindQuotes
    @CustomerId int = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    -- built for the help desk screen; keep the filters optional
    SELECT q.QuoteId, q.CustomerId, q.RepId, q.QuotedOn, q.ValidUntil, c.Name
      FROM dbo.Quote AS q
      JOIN dbo.Customer AS c ON c.CustomerId = q.CustomerId
     WHERE (@CustomerId IS NULL OR q.CustomerId = @CustomerId)
       AND (@From IS NULL OR q.QuotedOn >= @From)
       AND (@To IS NULL OR q.QuotedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR q.Status = @Status)
     ORDER BY q.QuotedOn DESC;
END;

-- @object Trigger | tr_Quote_History | 2012-01-09 12:08:57
CREATE TRIGGER dbo.tr_Quote_History ON dbo.Quote
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT UPDATE(Status) RETURN;
    INSERT INTO dbo.QuoteHistory (QuoteId, Note)
    SELECT i.QuoteId, CONCAT(d.Status, N' -> ', i.Status)
      FROM inserted AS i
      JOIN deleted AS d ON d.QuoteId = i.QuoteId
     WHERE d.Status <> i.Status;
END;

-- @object Stored Procedure | usp_QuotePipelineReport | 2013-12-30 12:40:17
CREATE PROCEDURE dbo.usp_QuotePipelineReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT c.Name,
           COUNT(*) AS Quotes,
           SUM(q.NetAmount) AS TotalNetAmount,
           MAX(q.NetAmount) AS LargestNetAmount,
           SUM(CASE WHEN q.Status = 'EXPIRED' THEN 1 ELSE 0 END) AS Expired
      FROM dbo.Quote AS q
      JOIN dbo.Customer AS c ON c.CustomerId = q.CustomerId
     WHERE q.QuotedOn >= @From AND q.QuotedOn < DATEADD(day, 1, @To)
     GROUP BY c.Name
     ORDER BY TotalNetAmount DESC;
END;

-- @object User Defined Function | fn_OpenQuoteValue | 2012-01-09 13:04:40
CREATE FUNCTION dbo.fn_OpenQuoteValue (@CustomerId int)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(NetAmount), 0) FROM dbo.Quote WHERE CustomerId = @CustomerId AND Status <> 'EXPIRED');
END;

-- @object User Table | QuoteHistory | 2012-01-09 10:07:54
CREATE TABLE dbo.QuoteHistory (
    HistoryId   bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_QuoteHistory PRIMARY KEY,
    QuoteId     int           NOT NULL CONSTRAINT FK_QuoteHistory_Quote REFERENCES dbo.Quote (QuoteId),
    Note        nvarchar(200) NOT NULL,
    ChangedAt   datetime2(0)  NOT NULL CONSTRAINT DF_QuoteHistory_ChangedAt DEFAULT (SYSUTCDATETIME())
);

-- @object User Defined Function | fn_QuoteTrail | 2012-01-09 10:19:34
CREATE FUNCTION dbo.fn_QuoteTrail (@QuoteId int)
RETURNS TABLE
AS
RETURN
    SELECT qh.HistoryId, qh.QuoteId, qh.Note, qh.ChangedAt
      FROM dbo.QuoteHistory AS qh
     WHERE qh.QuoteId = @QuoteId;

-- @object User Table | QuoteLine | 2012-01-09 10:09:45
CREATE TABLE dbo.QuoteLine (
    QuoteId     int            NOT NULL CONSTRAINT FK_QuoteLine_Quote REFERENCES dbo.Quote (QuoteId) ON DELETE CASCADE,
    LineNo      smallint       NOT NULL,
    ProductId   int            NOT NULL CONSTRAINT FK_QuoteLine_Product REFERENCES dbo.Product (ProductId),
    Quantity    int            NOT NULL CONSTRAINT CK_QuoteLine_Quantity CHECK (Quantity > 0),
    UnitPrice   decimal(19, 4) NOT NULL,
    LineValue   AS (Quantity * UnitPrice) PERSISTED,
    CONSTRAINT PK_QuoteLine PRIMARY KEY (QuoteId, LineNo)
);

-- @object Trigger | tr_QuoteLine_Total | 2013-08-05 13:37:52
CREATE TRIGGER dbo.tr_QuoteLine_Total ON dbo.QuoteLine
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the quote total in step with its lines
    UPDATE p SET NetAmount = ISNULL((SELECT SUM(x.LineValue) FROM dbo.QuoteLine AS x WHERE x.QuoteId = p.QuoteId), 0)
      FROM dbo.Quote AS p
     WHERE p.QuoteId IN (SELECT QuoteId FROM inserted UNION SELECT QuoteId FROM deleted);
END;

-- @object User Defined Function | fn_QuoteLines | 2012-01-09 10:43:46
CREATE FUNCTION dbo.fn_QuoteLines (@QuoteId int)
RETURNS TABLE
AS
RETURN
    SELECT ql.QuoteId, ql.LineNo, ql.ProductId, ql.Quantity, ql.UnitPrice
      FROM dbo.QuoteLine AS ql
     WHERE ql.QuoteId = @QuoteId;

-- @object User Table | CreditNote | 2012-10-22 15:35:35
CREATE TABLE dbo.CreditNote (
    CreditNoteId int IDENTITY(700000, 1) NOT NULL CONSTRAINT PK_CreditNote PRIMARY KEY,
    InvoiceId    int           NOT NULL CONSTRAINT FK_CreditNote_Invoice REFERENCES dbo.Invoice (InvoiceId),
    IssuedOn     date          NOT NULL,
    Amount       dbo.Money4    NOT NULL CONSTRAINT CK_CreditNote_Amount CHECK (Amount > 0),
    Reason       nvarchar(200) NOT NULL,
    Status       char(4)       NOT NULL CONSTRAINT DF_CreditNote_Status DEFAULT ('OPEN')
                     CONSTRAINT CK_CreditNote_Status CHECK (Status IN ('OPEN', 'USED', 'VOID'))
);

-- @object Stored Procedure | usp_IssueCreditNote | 2012-10-22 15:40:09
CREATE PROCEDURE dbo.usp_IssueCreditNote
    @InvoiceId int,
    @IssuedOn  date,
    @Amount    dbo.Money4,
    @Reason    nvarchar(200),
    @CreditNoteId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Invoice WHERE InvoiceId = @InvoiceId)
    BEGIN
        RAISERROR(N'Invoice %d does not exist.', 16, 1, @InvoiceId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.CreditNote (InvoiceId, IssuedOn, Amount, Reason)
            VALUES (@InvoiceId, @IssuedOn, @Amount, @Reason);
            SET @CreditNoteId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_UseCreditNote | 2012-10-22 16:07:54
CREATE PROCEDURE dbo.usp_UseCreditNote
    @CreditNoteId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.CreditNote
           SET Status = 'USED'
         WHERE CreditNoteId = @CreditNoteId AND Status IN ('OPEN');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Credit note %d is not OPEN; it cannot move to USED.', 16, 1, @CreditNoteId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_VoidCreditNote | 2012-10-22 16:26:17
CREATE PROCEDURE dbo.usp_VoidCreditNote
    @CreditNoteId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.CreditNote
           SET Status = 'VOID'
         WHERE CreditNoteId = @CreditNoteId AND Status IN ('OPEN');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Credit note %d is not OPEN; it cannot move to VOID.', 16, 1, @CreditNoteId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_CreditNotesByMonth | 2012-10-22 16:34:54
CREATE VIEW dbo.vw_CreditNotesByMonth
AS
SELECT YEAR(cn.IssuedOn) AS [Year], MONTH(cn.IssuedOn) AS [Month],
       COUNT(*) AS CreditNotes,
       SUM(cn.Amount) AS TotalAmount,
       AVG(cn.Amount) AS AverageAmount
  FROM dbo.CreditNote AS cn
 WHERE cn.Status <> 'VOID'
 GROUP BY YEAR(cn.IssuedOn), MONTH(cn.IssuedOn);

-- @object User Defined Function | fn_CreditAgainstInvoice | 2012-10-22 16:55:56
CREATE FUNCTION dbo.fn_CreditAgainstInvoice (@InvoiceId int, @AsAt date)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Amount), 0) FROM dbo.CreditNote WHERE InvoiceId = @InvoiceId AND Status <> 'VOID' AND IssuedOn <= @AsAt);
END;

-- @object Stored Procedure | usp_FindCreditNotes | 2012-10-22 17:03:45
CREATE PROCEDURE dbo.usp_FindCreditNotes
    @InvoiceId int = NULL,
    @ReasonLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT cn.CreditNoteId, cn.InvoiceId, cn.IssuedOn, cn.Amount, cn.Reason, i.IssuedOn
      FROM dbo.CreditNote AS cn
      JOIN dbo.Invoice AS i ON i.InvoiceId = cn.InvoiceId
     WHERE (@InvoiceId IS NULL OR cn.InvoiceId = @InvoiceId)
       AND (@ReasonLike IS NULL OR cn.Reason LIKE @ReasonLike + N'%')
       AND (@From IS NULL OR cn.IssuedOn >= @From)
       AND (@To IS NULL OR cn.IssuedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR cn.Status = @Status)
     ORDER BY cn.IssuedOn DESC;
END;

-- @object Trigger | tr_CreditNote_NoDelete | 2016-06-16 18:20:49
CREATE TRIGGER dbo.tr_CreditNote_NoDelete ON dbo.CreditNote
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Status <> 'OPEN')
    BEGIN
        RAISERROR(N'Only credit note rows still at OPEN can be deleted; the others are kept for the record.', 16, 1);
        RETURN;
    END;
    DELETE t FROM dbo.CreditNote AS t JOIN deleted AS d ON d.CreditNoteId = t.CreditNoteId;
END;

-- @object User Table | LoyaltyAccount | 2016-05-03 09:15:10
CREATE TABLE dbo.LoyaltyAccount (
    AccountId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_LoyaltyAccount PRIMARY KEY,
    CustomerId   int          NOT NULL CONSTRAINT FK_LoyaltyAccount_Customer REFERENCES dbo.Customer (CustomerId)
                     CONSTRAINT UQ_LoyaltyAccount_Customer UNIQUE,
    CardNumber   char(16)     NOT NULL CONSTRAINT UQ_LoyaltyAccount_Card UNIQUE,
    Points       int          NOT NULL CONSTRAINT DF_LoyaltyAccount_Points DEFAULT (0),
    OpenedOn     date         NOT NULL,
    Tier         varchar(6)   NOT NULL CONSTRAINT DF_LoyaltyAccount_Tier DEFAULT ('BRONZE')
                     CONSTRAINT CK_LoyaltyAccount_Tier CHECK (Tier IN ('BRONZE', 'SILVER', 'GOLD', 'CLOSED'))
);

-- @object Stored Procedure | usp_OpenLoyaltyAccount | 2016-05-03 09:49:32
CREATE PROCEDURE dbo.usp_OpenLoyaltyAccount
    @CustomerId int,
    @CardNumber char(16),
    @OpenedOn   date,
    @AccountId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Customer WHERE CustomerId = @CustomerId)
    BEGIN
        RAISERROR(N'Customer %d does not exist.', 16, 1, @CustomerId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.LoyaltyAccount (CustomerId, CardNumber, OpenedOn)
            VALUES (@CustomerId, @CardNumber, @OpenedOn);
            SET @AccountId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_PromoteToSilver | 2016-05-03 09:53:38
CREATE PROCEDURE dbo.usp_PromoteToSilver
    @AccountId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.LoyaltyAccount
           SET Tier = 'SILVER'
         WHERE AccountId = @AccountId AND Tier IN ('BRONZE');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Loyalty account %d is not BRONZE; it cannot move to SILVER.', 16, 1, @AccountId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_PromoteToGold | 2016-05-03 10:27:53
CREATE PROCEDURE dbo.usp_PromoteToGold
    @AccountId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.LoyaltyAccount
           SET Tier = 'GOLD'
         WHERE AccountId = @AccountId AND Tier IN ('SILVER');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Loyalty account %d is not SILVER; it cannot move to GOLD.', 16, 1, @AccountId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CloseLoyaltyAccount | 2016-05-03 10:48:36
CREATE PROCEDURE dbo.usp_CloseLoyaltyAccount
    @AccountId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.LoyaltyAccount
           SET Tier = 'CLOSED'
         WHERE AccountId = @AccountId AND Tier IN ('BRONZE', 'SILVER');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Loyalty account %d is not BRONZE or SILVER; it cannot move to CLOSED.', 16, 1, @AccountId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_FindLoyaltyAccount | 2016-05-03 11:06:12
CREATE PROCEDURE dbo.usp_FindLoyaltyAccount
    @CustomerId int = NULL,
    @CardNumberLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Tier varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT la.AccountId, la.CustomerId, la.CardNumber, la.Points, la.OpenedOn, c.Name
      FROM dbo.LoyaltyAccount AS la
      JOIN dbo.Customer AS c ON c.CustomerId = la.CustomerId
     WHERE (@CustomerId IS NULL OR la.CustomerId = @CustomerId)
       AND (@CardNumberLike IS NULL OR la.CardNumber LIKE @CardNumberLike + N'%')
       AND (@From IS NULL OR la.OpenedOn >= @From)
       AND (@To IS NULL OR la.OpenedOn < DATEADD(day, 1, @To))
       AND (@Tier IS NULL OR la.Tier = @Tier)
     ORDER BY la.OpenedOn DESC;
END;

-- @object View | vw_LoyaltyMembers | 2016-05-03 11:35:06
CREATE VIEW dbo.vw_LoyaltyMembers
AS
SELECT la.AccountId,
       c.Name AS CustomerName,
       la.CustomerId,
       la.CardNumber,
       la.Points,
       la.OpenedOn,
       la.Tier
  FROM dbo.LoyaltyAccount AS la
  JOIN dbo.Customer AS c ON c.CustomerId = la.CustomerId
 WHERE la.Tier IN ('BRONZE', 'SILVER');

-- @object User Table | LoyaltyTransaction | 2016-05-03 09:18:56
CREATE TABLE dbo.LoyaltyTransaction (
    TransactionId bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_LoyaltyTransaction PRIMARY KEY,
    AccountId     int          NOT NULL CONSTRAINT FK_LoyaltyTransaction_Account REFERENCES dbo.LoyaltyAccount (AccountId),
    OrderId       int          NULL CONSTRAINT FK_LoyaltyTransaction_Order REFERENCES dbo.SalesOrder (OrderId),
    PostedAt      datetime2(0) NOT NULL CONSTRAINT DF_LoyaltyTransaction_PostedAt DEFAULT (SYSUTCDATETIME()),
    Points        int          NOT NULL CONSTRAINT CK_LoyaltyTransaction_Points CHECK (Points <> 0)
);

-- @object Trigger | tr_LoyaltyTransaction_Balance | 2019-05-12 12:34:20
CREATE TRIGGER dbo.tr_LoyaltyTransaction_Balance ON dbo.LoyaltyTransaction
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the loyalty account total in step with its lines
    UPDATE p SET Points = ISNULL((SELECT SUM(x.Points) FROM dbo.LoyaltyTransaction AS x WHERE x.AccountId = p.AccountId), 0)
      FROM dbo.LoyaltyAccount AS p
     WHERE p.AccountId IN (SELECT AccountId FROM inserted UNION SELECT AccountId FROM deleted);
END;

-- @object User Defined Function | fn_WeeklyPointsIssued | 2019-12-20 17:00:26
CREATE FUNCTION dbo.fn_WeeklyPointsIssued (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    LoyaltyTransactions int  NOT NULL,
    Total     int NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, LoyaltyTransactions, Total)
        SELECT @Week, COUNT(*), SUM(lt.Points)
          FROM dbo.LoyaltyTransaction AS lt
         WHERE lt.PostedAt >= @Week AND lt.PostedAt < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object Stored Procedure | usp_PurgeLoyaltyTransactions | 2019-10-21 14:00:29
CREATE PROCEDURE dbo.usp_PurgeLoyaltyTransactions
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.LoyaltyTransaction
             WHERE PostedAt < @Cutoff;
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        CHECKPOINT;
    END;
    PRINT CONCAT(@Total, N' loyalty transaction rows removed.');
END;

-- @object View | vw_PointsByCard | 2016-05-03 10:24:14
CREATE VIEW dbo.vw_PointsByCard
WITH SCHEMABINDING
AS
SELECT la.AccountId, la.CardNumber,
       COUNT_BIG(*) AS LoyaltyTransactions,
       SUM(ISNULL(lt.Points, 0)) AS TotalPoints,
       MIN(lt.PostedAt) AS FirstPostedAt, MAX(lt.PostedAt) AS LastPostedAt
  FROM dbo.LoyaltyTransaction AS lt
  JOIN dbo.LoyaltyAccount AS la ON la.AccountId = lt.AccountId
 GROUP BY la.AccountId, la.CardNumber;

-- @object User Table | StockTake | 2013-03-25 07:10:58
CREATE TABLE dbo.StockTake (
    StockTakeId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_StockTake PRIMARY KEY,
    WarehouseId  tinyint      NOT NULL CONSTRAINT FK_StockTake_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    CountDate    date         NOT NULL,
    Status       varchar(9)   NOT NULL CONSTRAINT DF_StockTake_Status DEFAULT ('COUNTING')
                     CONSTRAINT CK_StockTake_Status CHECK (Status IN ('COUNTING', 'REVIEW', 'POSTED', 'ABANDONED')),
    Variance     int          NOT NULL CONSTRAINT DF_StockTake_Variance DEFAULT (0)
);

-- @object Stored Procedure | usp_StartStockTake | 2013-03-25 07:21:41
CREATE PROCEDURE dbo.usp_StartStockTake
    @WarehouseId tinyint,
    @CountDate   date,
    @StockTakeId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Warehouse WHERE WarehouseId = @WarehouseId)
    BEGIN
        RAISERROR(N'Warehouse %d does not exist.', 16, 1, @WarehouseId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.StockTake (WarehouseId, CountDate)
            VALUES (@WarehouseId, @CountDate);
            SET @StockTakeId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_FinishCounting | 2013-03-25 07:27:25
CREATE PROCEDURE dbo.usp_FinishCounting
    @StockTakeId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.StockTake
           SET Status = 'REVIEW'
         WHERE StockTakeId = @StockTakeId AND Status IN ('COUNTING');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Stock take %d is not COUNTING; it cannot move to REVIEW.', 16, 1, @StockTakeId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_AbandonStockTake | 2013-03-25 07:35:26
CREATE PROCEDURE dbo.usp_AbandonStockTake
    @StockTakeId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.StockTake
           SET Status = 'ABANDONED'
         WHERE StockTakeId = @StockTakeId AND Status IN ('COUNTING', 'REVIEW');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Stock take %d is not COUNTING or REVIEW; it cannot move to ABANDONED.', 16, 1, @StockTakeId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_StockTakesInProgress | 2013-03-25 07:59:19
CREATE VIEW dbo.vw_StockTakesInProgress
AS
SELECT st.StockTakeId,
       w.Name AS WarehouseName,
       st.WarehouseId,
       st.CountDate,
       st.Status,
       st.Variance
  FROM dbo.StockTake AS st
  JOIN dbo.Warehouse AS w ON w.WarehouseId = st.WarehouseId
 WHERE st.Status IN ('COUNTING', 'REVIEW');

-- @object Stored Procedure | usp_StockTakeVarianceReport | 2015-09-24 12:20:28
CREATE PROCEDURE dbo.usp_StockTakeVarianceReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT w.Name,
           COUNT(*) AS StockTakes,
           SUM(st.Variance) AS TotalVariance,
           MAX(st.Variance) AS LargestVariance,
           SUM(CASE WHEN st.Status = 'ABANDONED' THEN 1 ELSE 0 END) AS Abandoned
      FROM dbo.StockTake AS st
      JOIN dbo.Warehouse AS w ON w.WarehouseId = st.WarehouseId
     WHERE st.CountDate >= @From AND st.CountDate < DATEADD(day, 1, @To)
     GROUP BY w.Name
     ORDER BY TotalVariance DESC;
END;

-- @object User Table | StockCount | 2013-03-25 07:12:20
CREATE TABLE dbo.StockCount (
    StockTakeId  int  NOT NULL CONSTRAINT FK_StockCount_Take REFERENCES dbo.StockTake (StockTakeId),
    ProductId    int  NOT NULL CONSTRAINT FK_StockCount_Product REFERENCES dbo.Product (ProductId),
    Expected     int  NOT NULL,
    Counted      int  NOT NULL CONSTRAINT CK_StockCount_Counted CHECK (Counted >= 0),
    Difference   AS (Counted - Expected) PERSISTED,
    CONSTRAINT PK_StockCount PRIMARY KEY (StockTakeId, ProductId)
);

-- @object Trigger | tr_StockCount_Variance | 2013-03-25 07:39:54
CREATE TRIGGER dbo.tr_StockCount_Variance ON dbo.StockCount
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the stock take total in step with its lines
    UPDATE p SET Variance = ISNULL((SELECT SUM(x.Difference) FROM dbo.StockCount AS x WHERE x.StockTakeId = p.StockTakeId), 0)
      FROM dbo.StockTake AS p
     WHERE p.StockTakeId IN (SELECT StockTakeId FROM inserted UNION SELECT StockTakeId FROM deleted);
END;

-- @object User Defined Function | fn_CountSheet | 2013-03-25 08:12:33
CREATE FUNCTION dbo.fn_CountSheet (@StockTakeId int)
RETURNS TABLE
AS
RETURN
    SELECT sc.StockTakeId, sc.ProductId, sc.Expected, sc.Counted, sc.Difference
      FROM dbo.StockCount AS sc
     WHERE sc.StockTakeId = @StockTakeId;

-- @object User Table | ProductReview | 2018-06-05 14:25:49
CREATE TABLE dbo.ProductReview (
    ReviewId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ProductReview PRIMARY KEY,
    ProductId   int            NOT NULL CONSTRAINT FK_ProductReview_Product REFERENCES dbo.Product (ProductId),
    CustomerId  int            NULL CONSTRAINT FK_ProductReview_Customer REFERENCES dbo.Customer (CustomerId),
    Rating      tinyint        NOT NULL CONSTRAINT CK_ProductReview_Rating CHECK (Rating BETWEEN 1 AND 5),
    Headline    nvarchar(120)  NULL,
    Body        nvarchar(max)  NULL,
    PostedAt    datetime2(0)   NOT NULL,
    Moderation  char(1)        NOT NULL CONSTRAINT DF_ProductReview_Moderation DEFAULT ('Q')
                   CONSTRAINT CK_ProductReview_Moderation CHECK (Moderation IN ('Q', 'Y', 'N'))
);

-- @object Stored Procedure | usp_PostReview | 2019-12-20 17:00:18
CREATE PROCEDURE dbo.usp_PostReview
    @ProductId  int,
    @CustomerId int,
    @Rating     tinyint,
    @Headline   nvarchar(120),
    @Body       nvarchar(max),
    @PostedAt   datetime2(0),
    @ReviewId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Product WHERE ProductId = @ProductId)
    BEGIN
        RAISERROR(N'Product %d does not exist.', 16, 1, @ProductId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.ProductReview (ProductId, CustomerId, Rating, Headline, Body, PostedAt)
        VALUES (@ProductId, @CustomerId, @Rating, @Headline, @Body, @PostedAt);
        SET @ReviewId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_PublishReview | 2018-06-05 15:21:53
CREATE PROCEDURE dbo.usp_PublishReview
    @ReviewId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.ProductReview
           SET Moderation = 'Y'
         WHERE ReviewId = @ReviewId AND Moderation IN ('Q');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Product review %d is not Q; it cannot move to Y.', 16, 1, @ReviewId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_RejectReview | 2018-06-05 15:37:31
CREATE PROCEDURE dbo.usp_RejectReview
    @ReviewId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.ProductReview
           SET Moderation = 'N'
         WHERE ReviewId = @ReviewId AND Moderation IN ('Q');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Product review %d is not Q; it cannot move to N.', 16, 1, @ReviewId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_ProductRatings | 2018-06-05 16:03:21
CREATE VIEW dbo.vw_ProductRatings
WITH SCHEMABINDING
AS
SELECT p.ProductId, p.Name,
       COUNT_BIG(*) AS ProductReviews,
       SUM(ISNULL(pr.Rating, 0)) AS TotalRating,
       MIN(pr.PostedAt) AS FirstPostedAt, MAX(pr.PostedAt) AS LastPostedAt
  FROM dbo.ProductReview AS pr
  JOIN dbo.Product AS p ON p.ProductId = pr.ProductId
 GROUP BY p.ProductId, p.Name;

-- @object View | vw_ReviewsToModerate | 2018-06-05 16:31:43
CREATE VIEW dbo.vw_ReviewsToModerate
AS
SELECT pr.ReviewId,
       p.Name AS ProductName,
       pr.ProductId,
       pr.CustomerId,
       pr.Rating,
       pr.Headline,
       pr.Body
  FROM dbo.ProductReview AS pr
  JOIN dbo.Product AS p ON p.ProductId = pr.ProductId
 WHERE pr.Moderation IN ('Q', 'Y');

-- @object User Defined Function | fn_ProductStars | 2018-06-05 16:38:59
CREATE FUNCTION dbo.fn_ProductStars (@ProductId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Rating), 0) FROM dbo.ProductReview WHERE ProductId = @ProductId AND Moderation <> 'N');
END;

-- @object Stored Procedure | usp_FindReviews | 2018-07-21 18:09:00
CREATE PROCEDURE dbo.usp_FindReviews
    @ProductId int = NULL,
    @HeadlineLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Moderation varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT pr.ReviewId, pr.ProductId, pr.CustomerId, pr.Rating, pr.Headline, p.Name
      FROM dbo.ProductReview AS pr
      JOIN dbo.Product AS p ON p.ProductId = pr.ProductId
     WHERE (@ProductId IS NULL OR pr.ProductId = @ProductId)
       AND (@HeadlineLike IS NULL OR pr.Headline LIKE @HeadlineLike + N'%')
       AND (@From IS NULL OR pr.PostedAt >= @From)
       AND (@To IS NULL OR pr.PostedAt < DATEADD(day, 1, @To))
       AND (@Moderation IS NULL OR pr.Moderation = @Moderation)
     ORDER BY pr.PostedAt DESC;
END;

-- @object User Table | GiftVoucher | 2019-01-14 12:00:19
CREATE TABLE dbo.GiftVoucher (
    VoucherId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_GiftVoucher PRIMARY KEY,
    Code        char(12)     NOT NULL CONSTRAINT UQ_GiftVoucher_Code UNIQUE,
    CustomerId  int          NULL CONSTRAINT FK_GiftVoucher_Customer REFERENCES dbo.Customer (CustomerId),
    IssuedOn    date         NOT NULL,
    Balance     dbo.Money4   NOT NULL CONSTRAINT CK_GiftVoucher_Balance CHECK (Balance >= 0),
    State       char(4)      NOT NULL CONSTRAINT DF_GiftVoucher_State DEFAULT ('LIVE')
                   CONSTRAINT CK_GiftVoucher_State CHECK (State IN ('LIVE', 'USED', 'VOID'))
);

-- @object Stored Procedure | usp_IssueGiftVoucher | 2019-01-14 12:06:56
CREATE PROCEDURE dbo.usp_IssueGiftVoucher
    @Code       char(12),
    @CustomerId int,
    @IssuedOn   date,
    @Balance    dbo.Money4,
    @VoucherId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Customer WHERE CustomerId = @CustomerId)
    BEGIN
        RAISERROR(N'Customer %d does not exist.', 16, 1, @CustomerId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.GiftVoucher (Code, CustomerId, IssuedOn, Balance)
        VALUES (@Code, @CustomerId, @IssuedOn, @Balance);
        SET @VoucherId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CancelGiftVoucher | 2019-01-14 12:21:36
CREATE PROCEDURE dbo.usp_CancelGiftVoucher
    @VoucherId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.GiftVoucher
           SET State = 'VOID'
         WHERE VoucherId = @VoucherId AND State IN ('LIVE');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Gift voucher %d is not LIVE; it cannot move to VOID.', 16, 1, @VoucherId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_FindGiftVoucher | 2019-01-14 12:51:54
CREATE PROCEDURE dbo.usp_FindGiftVoucher
    @CustomerId int = NULL,
    @CodeLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @State varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT gv.VoucherId, gv.Code, gv.CustomerId, gv.IssuedOn, gv.Balance, c.Name
      FROM dbo.GiftVoucher AS gv
      JOIN dbo.Customer AS c ON c.CustomerId = gv.CustomerId
     WHERE (@CustomerId IS NULL OR gv.CustomerId = @CustomerId)
       AND (@CodeLike IS NULL OR gv.Code LIKE @CodeLike + N'%')
       AND (@From IS NULL OR gv.IssuedOn >= @From)
       AND (@To IS NULL OR gv.IssuedOn < DATEADD(day, 1, @To))
       AND (@State IS NULL OR gv.State = @State)
     ORDER BY gv.IssuedOn DESC;
END;

-- @object View | vw_VoucherLiability | 2019-01-14 13:05:42
CREATE VIEW dbo.vw_VoucherLiability
AS
SELECT YEAR(gv.IssuedOn) AS [Year], MONTH(gv.IssuedOn) AS [Month],
       COUNT(*) AS GiftVouchers,
       SUM(gv.Balance) AS TotalBalance,
       AVG(gv.Balance) AS AverageBalance
  FROM dbo.GiftVoucher AS gv
 WHERE gv.State <> 'VOID'
 GROUP BY YEAR(gv.IssuedOn), MONTH(gv.IssuedOn);
